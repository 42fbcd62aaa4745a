// The same network fault always gets the same error code, whichever timer or socket layer reports it.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>
#include <winhttp.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "QorNetworking/HttpClient.h"
#include "QorNetworking/WinHttpErrors.h"
#include "testing/TestServer.h"

using namespace Nolvar::Networking;
using Nolvar::Networking::Detail::MapWinHttpError;
using Nolvar::Networking::Detail::RequestPhase;

namespace {

TEST(ErrorClassTest, SocketErrorsPassedThroughMapToTheirClass) {
    auto code = [](DWORD error, RequestPhase phase) { return MapWinHttpError(error, phase, 0, false).code; };
    EXPECT_EQ(code(WSAETIMEDOUT, RequestPhase::ReceiveBody), Error::OperationTimedOut);
    EXPECT_EQ(code(WSAETIMEDOUT, RequestPhase::ReceiveHeaders), Error::OperationTimedOut);
    EXPECT_EQ(code(ERROR_WINHTTP_TIMEOUT, RequestPhase::ReceiveBody), Error::OperationTimedOut);
    EXPECT_EQ(code(WSAECONNRESET, RequestPhase::ReceiveHeaders), Error::NetworkReceiveError);
    EXPECT_EQ(code(WSAECONNRESET, RequestPhase::ReceiveBody), Error::NetworkReceiveError);
    EXPECT_EQ(code(WSAECONNABORTED, RequestPhase::Send), Error::NetworkSendFailure);
    EXPECT_EQ(code(WSAECONNREFUSED, RequestPhase::Send), Error::ConnectionFailure);
    EXPECT_EQ(code(WSAENETUNREACH, RequestPhase::Send), Error::ConnectionFailure);
    EXPECT_EQ(code(WSAEHOSTUNREACH, RequestPhase::Send), Error::ConnectionFailure);
    EXPECT_EQ(code(WSAHOST_NOT_FOUND, RequestPhase::Send), Error::HostResolutionFailure);
    EXPECT_EQ(MapWinHttpError(WSAHOST_NOT_FOUND, RequestPhase::Send, 0, true).code, Error::ProxyResolutionFailure);
}

// Every stall ends through the low-speed rule, never through WinHTTP's own receive time-out.
TEST(ErrorClassTest, StalledBodyIsAlwaysATimeOut) {
    Testing::TestServer server;
    constexpr int kTrials = 6;
    std::vector<Response> responses(kTrials);
    std::vector<std::thread> threads;
    for (int i = 0; i < kTrials; ++i) {
        threads.emplace_back([&, i] {
            Options options{1024, 5, 60'000'000, true, 3, 1000 + 100 * i, true};
            createHttpClient()->get(responses[i],
                                    Request{Url(server.httpUrl("/data/100000?stall_after=" + std::to_string(3000 + i) +
                                                               "&stall=20")),
                                            {},
                                            {}},
                                    options);
        });
    }
    for (auto& thread : threads) thread.join();
    for (const auto& response : responses) {
        EXPECT_EQ(response.error.code, Error::OperationTimedOut) << response.error.message;
        EXPECT_NE(response.error.message.find("slower than"), std::string::npos) << response.error.message;
    }
}

// A server that reads each request and resets the connection instead of answering.
class ResettingServer {
public:
    ResettingServer() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        m_socket = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int length = sizeof(address);
        bind(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof(address));
        listen(m_socket, 16);
        getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { serve(); });
    }
    ~ResettingServer() {
        closesocket(m_socket);  // ends accept()
        m_thread.join();
        WSACleanup();
    }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(m_port) + "/x"; }

private:
    void serve() {
        for (;;) {
            SOCKET client = accept(m_socket, nullptr, nullptr);
            if (client == INVALID_SOCKET) return;
            char buffer[4096];
            recv(client, buffer, sizeof(buffer), 0);
            linger reset{1, 0};
            setsockopt(client, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&reset), sizeof(reset));
            closesocket(client);
        }
    }

    SOCKET m_socket = INVALID_SOCKET;
    std::uint16_t m_port = 0;
    std::thread m_thread;
};

TEST(ErrorClassTest, ConnectionResetBeforeTheAnswerIsNeverAnUnknownError) {
    ResettingServer server;
    auto client = createHttpClient();
    for (int i = 0; i < 10; ++i) {
        Response response;
        client->get(response, Request{Url(server.url()), {}, {}}, Options{1024, 5, 30'000'000, true, 3, 10'000, true});
        // Depending on when the socket layer sees the reset, WinHTTP reports it as such (a receive error) or as
        // a connection closed without an answer; never as an unknown error.
        EXPECT_TRUE(response.error.code == Error::NetworkReceiveError || response.error.code == Error::EmptyResponse)
            << response.error.code << " " << response.error.message;
    }
}

} // namespace
