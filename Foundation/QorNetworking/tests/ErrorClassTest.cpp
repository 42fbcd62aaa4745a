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
#include "testing/RawTcpServer.h"
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

TEST(ErrorClassTest, ConnectionResetBeforeTheAnswerIsNeverAnUnknownError) {
    Testing::RawTcpServer server(Testing::RawTcpServer::Behaviour::ResetAfterRequest);
    auto client = createHttpClient();
    for (int i = 0; i < 10; ++i) {
        Response response;
        client->get(response, Request{Url(server.url("/x")), {}, {}}, Options{1024, 5, 30'000'000, true, 3, 10'000, true});
        // Depending on when the socket layer sees the reset, WinHTTP reports it as such (a receive error) or as
        // a connection closed without an answer; never as an unknown error.
        EXPECT_TRUE(response.error.code == Error::NetworkReceiveError || response.error.code == Error::EmptyResponse)
            << response.error.code << " " << response.error.message;
    }
}

} // namespace
