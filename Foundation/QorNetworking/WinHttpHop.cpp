#include "QorNetworking/WinHttpHop.h"

#include <chrono>

#include "QorString/Utf.h"

namespace Nolvar::Networking::Detail {

WinHttpHop::WinHttpHop(std::string body) : m_exchange(new Exchange(std::move(body))) {}

WinHttpHop::~WinHttpHop() { close(std::chrono::seconds(5)); }

WinHttp::Result<void> WinHttpHop::open(HINTERNET session, const Url& url, const std::wstring& method,
                                       HttpVersion version) {
    auto opened = openHandles(session, url, method, version);
    if (!opened) {
        // The context never reached WinHTTP: it will not report the handle closed to the exchange.
        m_request.reset();
        m_exchange->forgetWinHttpReference();
    }
    return opened;
}

WinHttp::Result<void> WinHttpHop::openHandles(HINTERNET session, const Url& url, const std::wstring& method,
                                              HttpVersion version) {
    auto connect = WinHttp::Connect(session, Core::WstringFromUtf8(url.host()), url.port());
    if (!connect) return connect.error();
    m_connect = std::move(*connect);

    DWORD flags = WINHTTP_FLAG_ESCAPE_DISABLE | WINHTTP_FLAG_ESCAPE_DISABLE_QUERY;
    if (url.scheme() == "https") flags |= WINHTTP_FLAG_SECURE;
    const wchar_t* versionText = version == HttpVersion::Http1_0 ? L"HTTP/1.0" : nullptr;
    auto request = WinHttp::OpenRequest(m_connect.get(), method, Core::WstringFromUtf8(url.pathAndQuery()),
                                        versionText, flags);
    if (!request) return request.error();
    m_request = std::move(*request);

    return WinHttp::SetContext(m_request.get(), reinterpret_cast<DWORD_PTR>(m_exchange));
}

void WinHttpHop::close(Clock::duration limit) {
    if (m_request) {
        m_exchange->stopIssuing();
        m_request.reset();
        m_exchange->waitClosed(limit);
    }
    if (m_exchange) {
        m_connectTime = m_exchange->connectTime();
        Exchange::Release(m_exchange);
        m_exchange = nullptr;
    }
    m_connect.reset();
}

} // namespace Nolvar::Networking::Detail
