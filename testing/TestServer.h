#pragma once
// Access to the scriptable test server (tools/testserver) from tests running under Wine.
#include <cstdint>
#include <string>

namespace Testing {

struct HttpResult {
    int status = 0;          // 0 when the request did not reach the server
    std::string body;
};

class TestServer {
public:
    // Reads the ports the running server wrote; throws when the server is not running.
    TestServer();

    std::uint16_t httpPort() const { return m_http; }
    std::uint16_t httpsPort() const { return m_https; }
    std::string httpUrl(const std::string& pathAndQuery = "/") const;
    std::string httpsUrl(const std::string& pathAndQuery = "/") const;

    // Queues answers for /script/<key>: a JSON list of objects with status, body, headers and the query options.
    void script(const std::string& key, const std::string& answersJson) const;
    // Every request recorded under <key>, as the server's JSON list.
    std::string recorded(const std::string& key) const;
    void reset(const std::string& key) const;
    // Writes a file the server then serves as /files/<name>.
    void putFile(const std::string& name, const std::string& content) const;

private:
    std::string m_dir;
    std::uint16_t m_http = 0;
    std::uint16_t m_https = 0;
};

// A plain synchronous request over WinHTTP, independent of the product's networking code.
HttpResult PlainHttpRequest(const std::string& method, const std::string& url, const std::string& body = {});

// Value of an environment variable set by the test harness (empty when unset).
std::string HarnessVariable(const char* name);

} // namespace Testing
