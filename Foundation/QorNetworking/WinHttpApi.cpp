#include "QorNetworking/WinHttpApi.h"

#include "QorString/Utf.h"

namespace Nolvar::Networking::Detail::WinHttp {
namespace {

boost::system::error_code LastError() {
    return {static_cast<int>(GetLastError()), boost::system::system_category()};
}

Result<void> Checked(BOOL ok) {
    if (!ok) return LastError();
    return {};
}

Result<UniqueInternetHandle> Owned(HINTERNET handle) {
    if (!handle) return LastError();
    return UniqueInternetHandle(handle);
}

} // namespace

Result<UniqueInternetHandle> Open(const std::wstring& agent, const std::wstring& proxy, const wchar_t* bypass) {
    const bool named = !proxy.empty();
    return Owned(WinHttpOpen(agent.empty() ? nullptr : agent.c_str(),
                             named ? WINHTTP_ACCESS_TYPE_NAMED_PROXY : WINHTTP_ACCESS_TYPE_NO_PROXY,
                             named ? proxy.c_str() : WINHTTP_NO_PROXY_NAME, named ? bypass : WINHTTP_NO_PROXY_BYPASS,
                             WINHTTP_FLAG_ASYNC));
}

Result<void> SetStatusCallback(HINTERNET handle, WINHTTP_STATUS_CALLBACK callback, DWORD notifications) {
    if (WinHttpSetStatusCallback(handle, callback, notifications, 0) == WINHTTP_INVALID_STATUS_CALLBACK)
        return LastError();
    return {};
}

Result<void> SetTimeouts(HINTERNET handle, int resolveMs, int connectMs, int sendMs, int receiveMs) {
    return Checked(WinHttpSetTimeouts(handle, resolveMs, connectMs, sendMs, receiveMs));
}

Result<void> SetOption(HINTERNET handle, DWORD option, DWORD value) {
    return Checked(WinHttpSetOption(handle, option, &value, sizeof(value)));
}

Result<void> SetContext(HINTERNET handle, DWORD_PTR context) {
    return Checked(WinHttpSetOption(handle, WINHTTP_OPTION_CONTEXT_VALUE, &context, sizeof(context)));
}

Result<UniqueInternetHandle> Connect(HINTERNET session, const std::wstring& host, INTERNET_PORT port) {
    return Owned(WinHttpConnect(session, host.c_str(), port, 0));
}

Result<UniqueInternetHandle> OpenRequest(HINTERNET connection, const std::wstring& method,
                                         const std::wstring& pathAndQuery, const wchar_t* version, DWORD flags) {
    return Owned(WinHttpOpenRequest(connection, method.c_str(), pathAndQuery.c_str(), version, WINHTTP_NO_REFERER,
                                    WINHTTP_DEFAULT_ACCEPT_TYPES, flags));
}

Result<void> SendRequest(HINTERNET request, const std::wstring& headers, std::string& body, DWORD_PTR context) {
    const auto size = static_cast<DWORD>(body.size());
    return Checked(WinHttpSendRequest(request, headers.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : headers.c_str(),
                                      headers.empty() ? 0 : static_cast<DWORD>(-1L),
                                      body.empty() ? WINHTTP_NO_REQUEST_DATA : body.data(), size, size, context));
}

Result<void> ReceiveResponse(HINTERNET request) { return Checked(WinHttpReceiveResponse(request, nullptr)); }

Result<DWORD> QueryStatusCode(HINTERNET request) {
    DWORD status = 0, size = sizeof(status);
    if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX))
        return {boost::system::in_place_error, LastError()};
    return status;
}

Result<std::string> QueryRawHeaders(HINTERNET request) {
    DWORD size = 0;
    if (WinHttpQueryHeaders(request, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX,
                            WINHTTP_NO_OUTPUT_BUFFER, &size, WINHTTP_NO_HEADER_INDEX))
        return std::string();
    if (auto error = LastError(); error.value() != ERROR_INSUFFICIENT_BUFFER) return error;
    if (size == 0) return std::string();
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX, text.data(), &size,
                             WINHTTP_NO_HEADER_INDEX))
        return LastError();
    text.resize(size / sizeof(wchar_t));
    return Core::Utf8FromWstring(text);
}

} // namespace Nolvar::Networking::Detail::WinHttp
