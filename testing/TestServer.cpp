#include "testing/TestServer.h"

#include <windows.h>
#include <winhttp.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <vector>

#include <nlohmann/json.hpp>

#include "QorNetworking/WinHttpHandle.h"

namespace Testing {
namespace {

std::wstring Widen(const std::string& text) {
    if (text.empty()) return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

using Nolvar::Networking::UniqueInternetHandle;

} // namespace

std::string HarnessVariable(const char* name) {
    wchar_t buffer[32768];
    DWORD n = GetEnvironmentVariableW(Widen(name).c_str(), buffer, 32768);
    if (n == 0 || n >= 32768) return {};
    int size = WideCharToMultiByte(CP_UTF8, 0, buffer, static_cast<int>(n), nullptr, 0, nullptr, nullptr);
    std::string out(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, buffer, static_cast<int>(n), out.data(), size, nullptr, nullptr);
    return out;
}

TestServer::TestServer() : m_dir(HarnessVariable("NETSETTER_TESTSERVER_DIR")) {
    if (m_dir.empty()) throw std::runtime_error("NETSETTER_TESTSERVER_DIR is not set: run the tests through ctest");
    std::ifstream in(std::filesystem::path(Widen(m_dir + "/ports.json")));
    if (!in) throw std::runtime_error("the test server is not running: " + m_dir);
    auto ports = nlohmann::json::parse(in);
    m_http = ports.at("http").get<std::uint16_t>();
    m_https = ports.at("https").get<std::uint16_t>();
}

std::string TestServer::httpUrl(const std::string& pathAndQuery) const {
    return "http://127.0.0.1:" + std::to_string(m_http) + pathAndQuery;
}

std::string TestServer::httpsUrl(const std::string& pathAndQuery) const {
    return "https://127.0.0.1:" + std::to_string(m_https) + pathAndQuery;
}

void TestServer::script(const std::string& key, const std::string& answersJson) const {
    if (PlainHttpRequest("POST", httpUrl("/_control/script/" + key), answersJson).status != 200)
        throw std::runtime_error("cannot script the test server");
}

std::string TestServer::recorded(const std::string& key) const {
    return PlainHttpRequest("GET", httpUrl("/_control/requests/" + key)).body;
}

void TestServer::reset(const std::string& key) const {
    PlainHttpRequest("POST", httpUrl("/_control/reset/" + key));
}

void TestServer::putFile(const std::string& name, const std::string& content) const {
    std::ofstream out(std::filesystem::path(Widen(m_dir + "/files/" + name)), std::ios::binary);
    out << content;
    if (!out) throw std::runtime_error("cannot write test server file " + name);
}

HttpResult PlainHttpRequest(const std::string& method, const std::string& url, const std::string& body) {
    HttpResult result;
    std::wstring wideUrl = Widen(url);
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof(parts);
    wchar_t host[256] = {}, path[4096] = {};
    parts.lpszHostName = host;
    parts.dwHostNameLength = 256;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = 4096;
    if (!WinHttpCrackUrl(wideUrl.c_str(), 0, 0, &parts)) return result;
    std::wstring pathAndQuery = path;

    UniqueInternetHandle session(WinHttpOpen(L"NetsetterTests", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                             WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session) return result;
    UniqueInternetHandle connection(WinHttpConnect(session.get(), host, parts.nPort, 0));
    if (!connection) return result;
    DWORD flags = parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0;
    UniqueInternetHandle request(WinHttpOpenRequest(connection.get(), Widen(method).c_str(), pathAndQuery.c_str(),
                                                    nullptr, WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, flags));
    if (!request) return result;
    if (flags) {
        DWORD ignore = SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_CN_INVALID |
                       SECURITY_FLAG_IGNORE_CERT_DATE_INVALID | SECURITY_FLAG_IGNORE_CERT_WRONG_USAGE;
        WinHttpSetOption(request.get(), WINHTTP_OPTION_SECURITY_FLAGS, &ignore, sizeof(ignore));
    }
    if (!WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                            body.empty() ? WINHTTP_NO_REQUEST_DATA : const_cast<char*>(body.data()),
                            static_cast<DWORD>(body.size()), static_cast<DWORD>(body.size()), 0) ||
        !WinHttpReceiveResponse(request.get(), nullptr))
        return result;
    DWORD status = 0, size = sizeof(status);
    WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                        WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX);
    result.status = static_cast<int>(status);
    std::vector<char> buffer(64 * 1024);
    DWORD read = 0;
    while (WinHttpReadData(request.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read) && read > 0)
        result.body.append(buffer.data(), read);
    return result;
}

} // namespace Testing
