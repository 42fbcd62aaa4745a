#pragma once
// The parameter sets that several statistics events of the installer logic share.
#include <cstdint>
#include <map>
#include <string>

#include "App/Fetchwell/IRemoteResource.h"

namespace Nolvar {

struct InstallerItem;

using StatisticsParams = std::map<std::string, std::string>;

// `first` with the entries of `more` that it lacks.
template <class... More>
StatisticsParams Merged(StatisticsParams first, const More&... more) {
    (first.insert(more.begin(), more.end()), ...);
    return first;
}

// DOWNLOAD_ERROR_COUNT and INSTALL_ERROR_COUNT.
StatisticsParams ErrorCountParams(std::int32_t downloadErrors, std::int32_t installErrors);
// PRODUCT_NAME and the item's two error counts.
StatisticsParams ProductErrorCountParams(const InstallerItem& item);
// CURL_ERROR and DOWNLOAD_ERROR of a download's state; an empty download error text reads "Incorrect URL".
StatisticsParams DownloadErrorParams(const App::IRemoteResource::State& state);
// TIME_ELAPSED and AVERAGE_SPEED (whole bytes per millisecond) of `bytes` moved in `elapsedMs` (at least 1).
StatisticsParams TransferParams(std::uint64_t bytes, std::int64_t elapsedMs);

// Milliseconds from `fromNs` to `toNs` (steady-clock nanoseconds); a difference of 0 or less counts as 1.
std::int64_t ElapsedMs(std::int64_t fromNs, std::int64_t toNs);

} // namespace Nolvar
