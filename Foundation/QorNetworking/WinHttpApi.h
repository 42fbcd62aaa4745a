#pragma once
// The WinHTTP calls the client makes, one function each. A failure carries the error of the call that failed,
// read right after it.
#include <windows.h>
#include <winhttp.h>

#include <boost/system/error_code.hpp>
#include <boost/system/result.hpp>

#include <string>

#include "QorNetworking/WinHttpHandle.h"

namespace Nolvar::Networking::Detail::WinHttp {

template <class T = void>
using Result = boost::system::result<T>;

// WinHTTP's (or the system's) error number of a failed call.
inline DWORD ErrorNumber(const boost::system::error_code& error) { return static_cast<DWORD>(error.value()); }

// An asynchronous session: through the HTTP proxy `proxy` ("host:port") with the bypass list `bypass`, or direct
// when `proxy` is empty. An empty `agent` leaves WinHTTP's own.
Result<UniqueInternetHandle> Open(const std::wstring& agent, const std::wstring& proxy, const wchar_t* bypass);
Result<void> SetStatusCallback(HINTERNET handle, WINHTTP_STATUS_CALLBACK callback, DWORD notifications);
Result<void> SetTimeouts(HINTERNET handle, int resolveMs, int connectMs, int sendMs, int receiveMs);
Result<void> SetOption(HINTERNET handle, DWORD option, DWORD value);
// The context value the status callback receives for `handle`.
Result<void> SetContext(HINTERNET handle, DWORD_PTR context);
Result<UniqueInternetHandle> Connect(HINTERNET session, const std::wstring& host, INTERNET_PORT port);
// `version` null: WinHTTP's default.
Result<UniqueInternetHandle> OpenRequest(HINTERNET connection, const std::wstring& method,
                                         const std::wstring& pathAndQuery, const wchar_t* version, DWORD flags);
// Starts sending; the completion comes through the status callback. `body` must stay until then; empty `headers`
// adds none.
Result<void> SendRequest(HINTERNET request, const std::wstring& headers, std::string& body, DWORD_PTR context);
// Starts waiting for the answer's headers; the completion comes through the status callback.
Result<void> ReceiveResponse(HINTERNET request);
Result<DWORD> QueryStatusCode(HINTERNET request);
// The answer's status line and headers as WinHTTP keeps them (CRLF-separated), in UTF-8; empty when it has none.
Result<std::string> QueryRawHeaders(HINTERNET request);

} // namespace Nolvar::Networking::Detail::WinHttp
