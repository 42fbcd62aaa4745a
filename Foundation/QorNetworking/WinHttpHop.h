#pragma once
// One answer of a possibly redirected request: its connection and request handles and the state WinHTTP's
// callbacks share with the requesting thread.
#include <windows.h>
#include <winhttp.h>

#include <string>

#include "QorNetworking/HttpVersion.h"
#include "QorNetworking/Url.h"
#include "QorNetworking/WinHttpApi.h"
#include "QorNetworking/WinHttpExchange.h"
#include "QorNetworking/WinHttpHandle.h"

namespace Nolvar::Networking::Detail {

class WinHttpHop {
public:
    // `body` is what the request sends.
    explicit WinHttpHop(std::string body);
    ~WinHttpHop();
    WinHttpHop(const WinHttpHop&) = delete;
    WinHttpHop& operator=(const WinHttpHop&) = delete;

    // Connects to the URL's host and opens the request handle, whose status callbacks reach exchange().
    WinHttp::Result<void> open(HINTERNET session, const Url& url, const std::wstring& method, HttpVersion version);

    // Closes the request handle; waits at most `limit` for WinHTTP to report it closed.
    void close(Clock::duration limit);

    HINTERNET handle() const { return m_request.get(); }
    Exchange& exchange() { return *m_exchange; }
    // Time spent connecting, known once the hop is closed.
    Clock::duration connectTime() const { return m_connectTime; }

private:
    WinHttp::Result<void> openHandles(HINTERNET session, const Url& url, const std::wstring& method,
                                      HttpVersion version);

    Clock::duration m_connectTime{};
    UniqueInternetHandle m_connect;
    UniqueInternetHandle m_request;
    Exchange* m_exchange = nullptr;
};

} // namespace Nolvar::Networking::Detail
