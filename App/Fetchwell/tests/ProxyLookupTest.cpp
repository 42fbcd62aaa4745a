// The download library under the system's proxy settings: a configuration script that never arrives holds up
// neither abort nor the facade's end.
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "QorNetworking/NativeProxyProvider.h"
#include "FetchwellClient.h"
#include "testing/ProxySettings.h"
#include "testing/RawTcpServer.h"

using namespace FetchwellTesting;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

// The product's system proxy lookup; says when a download has asked it.
struct ObservedSystemProxy : Networking::IProxyProvider {
    Networking::NativeProxyProvider system;
    std::atomic<bool> asked{false};
    Proxy getProxy(const std::string& url) override { return getProxy(url, {}); }
    Proxy getProxy(const std::string& url, const std::function<bool()>& stop) override {
        asked = true;
        return system.getProxy(url, stop);
    }
};

} // namespace

TEST(FetchwellProxyLookup, AbortEndsADownloadWhoseConfigurationScriptNeverArrives) {
    Testing::RawTcpServer silent(Testing::RawTcpServer::Behaviour::Silent);
    Testing::ConnectionSettingsScope scope(
        Testing::ConnectionSettings(Testing::kAutoConfigUrl | Testing::kDirectConnection, "", "",
                                    silent.url("/never.pac")));
    Testing::TempFolder folder(L"netsetter-pac-");
    auto proxy = std::make_shared<ObservedSystemProxy>();
    App::Fetchwell::Dependencies d;
    d.proxyProvider = proxy;
    d.applicationTracker = new RecordingTracker;
    {
        App::Fetchwell fetchwell;
        fetchwell.init(ParallelParams(2), d);
        fetchwell.startEventLoopThread();
        // Not a loopback host: only those skip the lookup.
        Download download(folder, "proxied.bin", "http://proxied.invalid/", "file.bin");
        download.start(fetchwell);
        for (auto until = Clock::now() + 30s; !proxy->asked && Clock::now() < until;) std::this_thread::sleep_for(5ms);
        ASSERT_TRUE(proxy->asked.load());
        std::this_thread::sleep_for(200ms);  // well inside the lookup's own limit of 5 s

        // Bounded by the stop check, not by the lookup's limit (or WinHTTP's minutes).
        const auto before = Clock::now();
        fetchwell.abort();
        EXPECT_LT(Clock::now() - before, 4s);
    }
}
