#pragma once
// Downloads resources over HTTP(S) with the networking client.
#include <map>
#include <memory>
#include <string>

#include "App/Fetchwell/FetchwellApi.h"
#include "App/Fetchwell/INetworkStateChecker.h"
#include "App/Fetchwell/IResourceDownloader.h"
#include "QorNetworking/HttpVersion.h"
#include "QorTracker/IApplicationTracker.h"

namespace Nolvar::Networking {
class IHttpClient;
class IProxyProvider;
} // namespace Nolvar::Networking

namespace Nolvar::App {

class FETCHWELL_API ResourceDownloaderHttp : public IResourceDownloader {
public:
    struct SslSettings {
        bool ignoreCertificateErrors = false;
        bool ignoreHostNameMismatch = false;
    };

    ResourceDownloaderHttp(std::shared_ptr<Networking::IHttpClient> client,
                           std::shared_ptr<Networking::IProxyProvider> proxyProvider,
                           std::shared_ptr<INetworkStateChecker> networkStateChecker,
                           Tracking::ApplicationTrackerPtr tracker, const std::map<std::string, std::string>& headers,
                           SslSettings sslSettings, Networking::HttpVersion httpVersion);
    ~ResourceDownloaderHttp() override;
    ResourceDownloaderHttp(const ResourceDownloaderHttp&) = delete;
    ResourceDownloaderHttp& operator=(const ResourceDownloaderHttp&) = delete;

    ResultTask exec(Task task) override;
    void abort() override;
    std::int64_t requestLastModified(const ResourceDescriptor* descriptor) override;

    // baseUrl, a "/" when it lacks one, then serverRelativePath without its leading "/".
    static std::string requestUrl(const ResourceDescriptor& descriptor);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace Nolvar::App
