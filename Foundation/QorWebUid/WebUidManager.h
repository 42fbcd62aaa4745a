#pragma once
// The web user id of this user: read from the registry, checked, obtained from the web-user-id service and
// merged there. One object serves one decision and is used on one thread.
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>

namespace Nolvar::Networking {
class IHttpClient;
}

namespace Nolvar::App {

class WebUidManager {
public:
    // The brand whose registry keys an empty brand names.
    static constexpr const char* kDefaultBrand = "Nolvaria";
    // The sub-key of the user's own id.
    static constexpr const char* kUserSubKey = "User";

    // The service's base URL this build was made with.
    static std::string DefaultServiceUrl();

    struct Parameters {
        // Sent with every request to the service (the logic puts the "User-Agent" here).
        std::map<std::string, std::string> headers;
        // Limit of each request to the service, in milliseconds.
        std::int64_t timeoutMs = 5000;
        // Requests go through the user's system proxy.
        bool useSystemProxy = true;
        // Redirects a request may follow; 0 means no limit of ours.
        std::int32_t maxRedirects = 0;
        std::string serviceUrl = DefaultServiceUrl();
        std::string brand = kDefaultBrand;
    };

    explicit WebUidManager(const Parameters& parameters);
    ~WebUidManager();
    WebUidManager(const WebUidManager&) = delete;
    WebUidManager& operator=(const WebUidManager&) = delete;

    // Connection metrics of the last request to the service; empty before the first one.
    std::map<std::string, std::string> getLastConnectionInfo() const;

    // The current brand's user id, empty when absent or not of the web user id form.
    std::string getUserWebUid();
    // The stored id under HKCU\SOFTWARE\<brand>\<subKey> as it is (empty brand: the current one).
    std::string getWebUidFromRegistryKey(const std::string& subKey, const std::string& brand);

    // A local check of the form (IsWebUidFormat): never contacts the service.
    bool isValidWebUid(const std::string& webUid) const;

    // A new id from the service for these query parameters; empty on any failure or an answer of the wrong form.
    std::string requestWebUid(const std::map<std::string, std::string>& params) const;
    // Asks the service to merge the other ids into `webUid`; true when it confirmed.
    bool concatenateWebUids(const std::string& webUid, const std::set<std::string>& others) const;

private:
    std::string endpoint(const std::string& path) const;

    const Parameters m_parameters;
    std::unique_ptr<Networking::IHttpClient> m_client;
    mutable std::map<std::string, std::string> m_lastConnectionInfo;
};

} // namespace Nolvar::App
