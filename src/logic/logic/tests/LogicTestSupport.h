#pragma once
// A whole installer-logic run for tests: a configuration served by the test server, the fake product installer
// as the product, the real download and statistics libraries, and the scripted splash as the user.
#include <windows.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <boost/filesystem/operations.hpp>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "QorFilesystem/CacheRoot.h"
#include "QorString/Utf.h"
#include "logic/logic/InstallerLogic.h"
#include "logic/logic/tests/ScriptedSplash.h"
#include "logic/tracker/json/JsonStatisticsTracker.h"
#include "testing/TempFolder.h"
#include "testing/TestServer.h"
#include "utils/Settings.h"
#include "utils/WorkingFolder.h"

namespace LogicTest {

using namespace std::chrono_literals;
using Nolvar::Tracking::Instant::Event;

// Records every event the logic tracks, in order, and hands it on to the real statistics tracker.
class RecordingStatistics final : public Nolvar::IStatisticsTracker {
public:
    RecordingStatistics() : m_real(std::make_shared<Nolvar::JsonStatisticsTracker>()) {}
    void Initialize(const std::string& url, const std::string& key, const std::string& product) override {
        m_real->Initialize(url, key, product);
    }
    void TrackEvent(Event event) override {
        {
            std::lock_guard lock(m_mutex);
            m_events.push_back(event);
        }
        m_real->TrackEvent(std::move(event));
    }
    std::vector<Event> Events() const {
        std::lock_guard lock(m_mutex);
        return m_events;
    }
    std::vector<Event> Named(const std::string& name) const {
        std::vector<Event> out;
        for (const auto& e : Events())
            if (e.name == name) out.push_back(e);
        return out;
    }
    int Count(const std::string& name) const { return static_cast<int>(Named(name).size()); }
    // Whether an event `name` is tracked within `limit`.
    bool WaitFor(const std::string& name, std::chrono::milliseconds limit) const {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (Count(name) == 0) {
            if (std::chrono::steady_clock::now() >= end) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return true;
    }
    // The names, in tracking order, of the events listed in `of`.
    std::vector<std::string> Order(const std::vector<std::string>& of) const {
        std::vector<std::string> out;
        for (const auto& e : Events())
            if (std::find(of.begin(), of.end(), e.name) != of.end()) out.push_back(e.name);
        return out;
    }
    // Releases the real tracker (it flushes to disk).
    void Release() { m_real.reset(); }

private:
    std::shared_ptr<Nolvar::JsonStatisticsTracker> m_real;
    mutable std::mutex m_mutex;
    std::vector<Event> m_events;
};

struct Product {
    Product(std::string id, int installOrder, std::string fakeArgs, bool registers = true, std::string fileContent = {})
        : id(std::move(id)), installOrder(installOrder), fakeArgs(std::move(fakeArgs)), registers(registers),
          fileContent(std::move(fileContent)) {}
    std::string id;
    int installOrder = 0;
    std::string fakeArgs;        // the fake installer's own arguments
    bool registers = true;       // the fake registers the product (found after installation)
    std::string fileContent;     // served instead of the fake installer when not empty
};

inline std::string Unique(const std::string& name) { return std::to_string(GetCurrentProcessId()) + "-" + name; }

inline std::string Png() {
    std::string data = "\x89PNG\r\n\x1a\n";
    data.resize(300, 'p');
    return data;
}

inline std::string ReadFile(const std::filesystem::path& path) { return Testing::ReadWholeFile(path); }

class LogicRun : public ::testing::Test {
protected:
    void SetUp() override {
        using Nolvar::Settings::ID;
        namespace S = Nolvar::Settings;
        S::Set(ID::BrandName, std::any(std::string("nolvaria")));
        S::Set(ID::ProductId, std::any(Unique("product")));
        S::Set(ID::ProductDisplayName, std::any(std::string("Netsetter Test")));
        S::Set(ID::InstallerVersion, std::any(std::string("2.0.0")));
        S::Set(ID::Locale, std::any(std::string("en-US")));
        S::Set(ID::InstallFolder, std::any(Nolvar::ioPath((m_install / L"product").wstring())));
        for (const char* image : {"start.png", "progress.png", "wait.png", "ready.png"}) m_server.putFile(Unique(image), Png());
        m_fakeInstaller = ReadFile(std::filesystem::path(Nolvar::Core::WstringFromUtf8(
                                       Testing::HarnessVariable("NETSETTER_BIN_DIR"))) / L"FakeInstaller.exe");
        ASSERT_FALSE(m_fakeInstaller.empty());
        // The fallback configuration of every run stays on the test server too.
        m_builtIn = Config({{"fallback", 0, "/FAKE_EXIT=0"}}, "built-in");
    }

    void TearDown() override {
        for (const auto& name : m_registered) {
            const std::wstring key = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" +
                                     Nolvar::Core::WstringFromUtf8(name);
            RegDeleteKeyExW(HKEY_CURRENT_USER, key.c_str(), KEY_WOW64_64KEY, 0);
        }
        boost::system::error_code ignored;
        boost::filesystem::remove_all(Nolvar::Core::GetSystemCacheRoot() / "Nolvaria" / Unique("statistics"), ignored);
        boost::filesystem::remove_all(Nolvar::GetWorkingFolder(), ignored);
    }

    // The uninstall entry name the fake installer registers for a product.
    std::string EntryName(const std::string& id) const { return Unique("entry-" + id); }
    std::string ProductExe(const std::string& id) const { return Unique(id + ".exe"); }

    nlohmann::json Value(const std::string& text) const { return {{"Values", nlohmann::json::array()}, {"DefaultValue", text}}; }

    // A configuration whose URLs all point at the test server.
    nlohmann::json Config(const std::vector<Product>& products, const std::string& configName = "logic-test") {
        nlohmann::json installers = nlohmann::json::array();
        for (const auto& p : products) {
            std::string args = "/S " + p.fakeArgs + " /FAKE_PRODUCT=" + ProductExe(p.id);
            if (p.registers) {
                args += " /FAKE_UNINSTALL=HKCU:64:" + EntryName(p.id);
                m_registered.push_back(EntryName(p.id));
            }
            m_server.putFile(Unique(p.id + ".exe"), p.fileContent.empty() ? m_fakeInstaller : p.fileContent);
            installers.push_back({{"id", Value(p.id)},
                                  {"url", Value(m_server.httpUrl("/files/" + Unique(p.id + ".exe")))},
                                  {"display_name", Value("Product " + p.id)},
                                  {"install_order", Value(std::to_string(p.installOrder))},
                                  {"install_args", Value(args)},
                                  {"check_app_running", Value("false")},
                                  {"search_installed_win_exe_name", Value(ProductExe(p.id))},
                                  {"search_installed_win_uninstall_registry_key_name", Value(EntryName(p.id))}});
        }
        return {{"configname", configName},
                {"data",
                 {{"Product", {{"version", Value("3.0.0")}}},
                  {"Installers", installers},
                  {"Splash", {{"start", Value(m_server.httpUrl("/files/" + Unique("start.png")))},
                              {"progress", Value(m_server.httpUrl("/files/" + Unique("progress.png")))},
                              {"wait", Value(m_server.httpUrl("/files/" + Unique("wait.png")))},
                              {"ready", Value(m_server.httpUrl("/files/" + Unique("ready.png")))}}},
                  {"Statistics",
                   {{"url", Value("http://127.0.0.1:9/statistics")},   // nothing listens: events stay on disk
                    {"id", Value("K-logic")},
                    {"targetApplicationId", Value(Unique("statistics"))}}}}}};
    }

    // Serves `config` as the downloaded configuration.
    void Serve(const nlohmann::json& config) {
        m_server.putFile(Unique("config.json"), config.dump());
        Nolvar::Settings::Set(Nolvar::Settings::ID::ConfigUrl,
                              std::any(m_server.httpUrl("/files/" + Unique("config.json"))));
    }

    Nolvar::InstallerLogicParts Parts() {
        Nolvar::InstallerLogicParts parts;
        parts.attachSplash = ScriptedSplash::Factory(m_script);
        parts.statistics = m_statistics;
        parts.webUidServiceUrl = m_server.httpUrl("/status/404");
        parts.downloads.retrier = {0, 0, 2, 10};
        parts.downloads.retryWaits = {50ms, 50ms};
        parts.launchedProductWait = 20s;
        if (!m_builtIn.is_null()) {
            const std::string builtIn = m_builtIn.dump();
            parts.configSource = [builtIn](const Nolvar::ioPath& file) -> std::shared_ptr<Nolvar::IConfigDataProvider> {
                struct Provider : Nolvar::IConfigDataProvider {
                    std::string config, builtIn;
                    std::string GetConfig() const override { return config; }
                    std::string GetDefaultConfig() const override { return builtIn; }
                };
                auto provider = std::make_shared<Provider>();
                provider->config = ReadFile(std::filesystem::path(file.wstring()));
                provider->builtIn = builtIn;
                return provider;
            };
        }
        return parts;
    }

    // Runs the logic to its end; a run that does not end within `limit` fails the test and ends the process.
    bool RunLogic(Nolvar::InstallerLogicParts parts, std::chrono::seconds limit = 120s) {
        auto outcome = std::async(std::launch::async, [parts = std::move(parts)]() mutable {
            Nolvar::InstallerLogic logic(std::move(parts));
            return logic.Run();
        });
        if (outcome.wait_for(limit) != std::future_status::ready) {
            ADD_FAILURE() << "The run did not end; splash calls:\n" << CallsText();
            std::fflush(nullptr);
            TerminateProcess(GetCurrentProcess(), 3);
        }
        return outcome.get();
    }

    std::string CallsText() const {
        std::string text;
        for (const auto& call : m_script->Calls()) text += call + "\n";
        return text;
    }

    // The user presses the install button on the start screen.
    void PressStartOnStartScreen() {
        m_script->When("SetScreen 1", [](Nolvar::ISplashEventObserver& o) { o.OnStartPressed(); }, 1);
    }
    void PressReadyOnReadyScreen() {
        m_script->When("SetScreen 6", [](Nolvar::ISplashEventObserver& o) { o.OnReadyPressed(); });
    }

    Testing::TestServer m_server;
    Testing::TempFolder m_install{L"netsetter-logic-Установка-"};
    std::shared_ptr<SplashScript> m_script = std::make_shared<SplashScript>();
    std::shared_ptr<RecordingStatistics> m_statistics = std::make_shared<RecordingStatistics>();
    nlohmann::json m_builtIn;   // the built-in configuration of the run
    std::string m_fakeInstaller;
    std::vector<std::string> m_registered;
};

} // namespace LogicTest
