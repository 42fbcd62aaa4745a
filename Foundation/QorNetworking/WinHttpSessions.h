#pragma once
// The WinHTTP sessions of one client, one for each user agent and proxy. WinHTTP keeps its open connections per
// session, so the requests of one client reuse them wherever keep-alive allows, and none pays for a new session.
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "QorNetworking/WinHttpApi.h"
#include "QorNetworking/WinHttpHandle.h"

namespace Nolvar::Networking::Detail {

class WinHttpSessions {
public:
    using Session = std::shared_ptr<const UniqueInternetHandle>;

    // The session for `agent` and `proxy` (empty: direct), made on first use with the client's status callback
    // and no redirects of WinHTTP's own. Requests running on it keep it alive after the client has gone.
    WinHttp::Result<Session> get(const std::wstring& agent, const std::wstring& proxy);

private:
    std::mutex m_mutex;
    std::map<std::pair<std::wstring, std::wstring>, Session> m_sessions;
};

} // namespace Nolvar::Networking::Detail
