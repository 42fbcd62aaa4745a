#include "utils/UrlUtils.h"

#include <functional>
#include <string_view>

#include <boost/url/parse.hpp>
#include <boost/url/url_view.hpp>
#include <glog/logging.h>

#include "QorNetworking/ConnectionMetrics.h"
#include "utils/SettingsInit.h"

namespace Nolvar {

ioPath GetUrlFileName(const std::string& url) {
    std::string text = url;
    if (!text.empty() && text.back() == '/') text.pop_back();
    const boost::urls::url_view view = boost::urls::parse_uri_reference(text).value();
    const auto segments = view.segments();  // percent-decoded
    if (segments.empty()) return {};
    return Core::PathFromUtf8(segments.back());
}

bool ValidateUrlExtensionForKind(DownloadKind kind, const std::string& url) {
    const std::string extension = Core::Utf8FromPath(GetUrlFileName(url).extension());
    static const std::map<DownloadKind, std::function<bool(const std::string&)>> checks = {
        {DownloadKind::SplashImage, [](const std::string& ext) { return ext == ".png"; }},
        {DownloadKind::ProductInstaller, [](const std::string& ext) { return ext == ".exe"; }},
        {DownloadKind::Configuration, [](const std::string&) { return true; }},
    };
    const auto check = checks.find(kind);
    return check != checks.end() && check->second(extension);
}

std::string ApplyStagingToUrl(const std::string& url) {
    const std::string token = Settings::GetText(Settings::ID::StagingToken);
    if (token.empty()) return url;
    // Literal replacement: the token comes from a file name and may hold any character.
    static constexpr std::string_view kRelease = "release";
    const std::string staging = "staging/" + token;
    std::string staged;
    std::size_t from = 0;
    for (std::size_t hit = url.find(kRelease); hit != std::string::npos; hit = url.find(kRelease, from)) {
        staged.append(url, from, hit - from).append(staging);
        from = hit + kRelease.size();
    }
    return staged.append(url, from, std::string::npos);
}

std::map<std::string, std::string> getConnectionMetricsParams(std::map<std::string, std::string> params) {
    return Networking::ConnectionMetricsParams(std::move(params));
}

} // namespace Nolvar
