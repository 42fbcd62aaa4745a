#pragma once
// WinHTTP's automatic proxy lookup (configuration script, automatic detection), bounded in time and reused per host.
// WinHttpGetProxyForUrl cannot be interrupted: a script server that accepts and never answers blocks it for
// minutes. Each lookup therefore runs on a thread of its own that shares only the answer table with its callers;
// callers wait for it at most `limit` and poll their stop predicate meanwhile.
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace Nolvar::Networking::Detail {

class AutoProxyLookup {
public:
    static constexpr std::chrono::milliseconds kLimit{5000};
    static constexpr std::chrono::milliseconds kReuse{std::chrono::minutes(5)};

    // What the script or detection said: a proxy list and bypass list in Windows' format.
    struct Answer {
        std::string proxyList;
        std::string bypassList;
    };
    struct Query {
        std::string url;            // the URL a proxy is wanted for
        std::string hostKey;        // answers are reused for the same key (scheme, host and port)
        std::string autoConfigUrl;  // empty: none
        bool autoDetect = false;
    };

    explicit AutoProxyLookup(std::chrono::milliseconds limit = kLimit, std::chrono::milliseconds reuse = kReuse);
    ~AutoProxyLookup();
    AutoProxyLookup(const AutoProxyLookup&) = delete;
    AutoProxyLookup& operator=(const AutoProxyLookup&) = delete;

    // Proxy settings found by the lookup; nullopt when it found none, failed, took longer than the limit or the
    // stop predicate turned true (the caller then uses the manual settings). Only one lookup runs per key; an
    // unfinished one is not waited for again once its time is up.
    std::optional<Answer> find(const Query& query, const std::function<bool()>& stop);

private:
    struct Table;
    std::shared_ptr<Table> m_table;
    std::chrono::milliseconds m_limit;
    std::chrono::milliseconds m_reuse;
};

} // namespace Nolvar::Networking::Detail
