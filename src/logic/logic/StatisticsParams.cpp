#include "logic/logic/StatisticsParams.h"

#include "logic/logic/InstallerItem.h"
#include "logic/logic/InstallerNames.h"

namespace Nolvar {

StatisticsParams ErrorCountParams(std::int32_t downloadErrors, std::int32_t installErrors) {
    return {{StatisticsParam::DownloadErrorCount, std::to_string(downloadErrors)},
            {StatisticsParam::InstallErrorCount, std::to_string(installErrors)}};
}

StatisticsParams ProductErrorCountParams(const InstallerItem& item) {
    return Merged({{StatisticsParam::ProductName, item.id}},
                  ErrorCountParams(item.downloadErrorCount, item.installErrorCount));
}

StatisticsParams DownloadErrorParams(const App::IRemoteResource::State& state) {
    const std::string downloadError = App::IRemoteResource::downloadErrorToString(state.downloadError);
    return {{StatisticsParam::CurlError, App::IRemoteResource::networkErrorToString(state.networkError)},
            {StatisticsParam::DownloadError, downloadError.empty() ? "Incorrect URL" : downloadError}};
}

StatisticsParams TransferParams(std::uint64_t bytes, std::int64_t elapsedMs) {
    const auto perMs = static_cast<std::uint64_t>(elapsedMs > 0 ? elapsedMs : 1);
    return {{StatisticsParam::TimeElapsed, std::to_string(elapsedMs)},
            {StatisticsParam::AverageSpeed, std::to_string(bytes / perMs)}};
}

std::int64_t ElapsedMs(std::int64_t fromNs, std::int64_t toNs) {
    const std::int64_t ms = (toNs - fromNs) / 1000000;
    return ms <= 0 ? 1 : ms;
}

} // namespace Nolvar
