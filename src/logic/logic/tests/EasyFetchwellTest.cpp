#include "logic/logic/EasyFetchwell.h"

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "logic/logic/Events.h"
#include "testing/TempFolder.h"
#include "testing/TestServer.h"
#include "utils/WorkingFolder.h"

namespace {

using namespace std::chrono_literals;
using Nolvar::DownloadItem;
using Nolvar::DownloadKind;
using Nolvar::ioPath;

struct Event {
    std::string type;
    DownloadItem item;
};

// Runs the loop on a thread of its own and records every download event it dispatches.
class Recorder {
public:
    Recorder() : m_loop(std::make_shared<Nolvar::EventLoop>()) {
        Add<Nolvar::StartDownload>("start");
        Add<Nolvar::UpdateProgressDownload>("progress");
        Add<Nolvar::FinishDownload>("finish");
        Add<Nolvar::FailDownload>("fail");
        m_thread = std::thread([this] { m_loop->run(); });
    }
    ~Recorder() {
        m_loop->stop();
        m_thread.join();
    }
    std::shared_ptr<Nolvar::EventLoop> loop() const { return m_loop; }

    // Waits until the events of `id` end in an outcome; returns them.
    std::vector<Event> Outcome(const std::string& id, std::chrono::milliseconds limit = 30s) {
        std::unique_lock lock(m_mutex);
        m_changed.wait_for(lock, limit, [&] {
            for (const auto& e : m_events)
                if (e.item.id == id && (e.type == "finish" || e.type == "fail")) return true;
            return false;
        });
        return Of(id);
    }
    std::vector<Event> Of(const std::string& id) const {
        std::vector<Event> out;
        for (const auto& e : m_events)
            if (e.item.id == id) out.push_back(e);
        return out;
    }
    std::size_t Count() {
        std::lock_guard lock(m_mutex);
        return m_events.size();
    }

private:
    template <class E>
    void Add(const std::string& type) {
        m_loop->on<E>([this, type](const E& event) {
            std::lock_guard lock(m_mutex);
            m_events.push_back({type, event.item});
            m_changed.notify_all();
        });
    }

    std::shared_ptr<Nolvar::EventLoop> m_loop;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Event> m_events;
    std::thread m_thread;
};

// The event types in order, a run of progress events written once.
std::string Types(const std::vector<Event>& events) {
    std::string out;
    for (const auto& e : events) {
        if (e.type == "progress" && out.ends_with("progress")) continue;
        out += (out.empty() ? "" : " ") + e.type;
    }
    return out;
}

DownloadItem Item(DownloadKind kind, const std::string& id, const std::string& url, const ioPath& target = {}) {
    DownloadItem item;
    item.kind = kind;
    item.id = id;
    item.url = url;
    item.targetPath = target;
    return item;
}

std::string Png(std::size_t size) {
    std::string data = "\x89PNG\r\n\x1a\n";
    while (data.size() < size) data += static_cast<char>(data.size() % 251);
    return data;
}

// Text after "MZ", so it can also travel in a scripted answer's JSON.
std::string Exe(std::size_t size) {
    std::string data = "MZ";
    while (data.size() < size) data += static_cast<char>('a' + data.size() % 26);
    return data;
}

Nolvar::EasyFetchwell::Options Quick(std::uint64_t retries = 0) {
    Nolvar::EasyFetchwell::Options options;
    options.retrier = {retries, retries, 2, 10};
    options.retryWaits = {50ms, 50ms};
    return options;
}

std::string Unique(const std::string& name) {
    return std::to_string(GetCurrentProcessId()) + "-" + name;
}

class EasyFetchwell : public ::testing::Test {
protected:
    std::size_t Gets(const std::string& key) const {
        return nlohmann::json::parse(m_server.recorded(key)).size();
    }
    Testing::TestServer m_server;
    Testing::TempFolder m_temp{L"netsetter-fetch-Загрузки -"};
    Recorder m_events;
};

TEST_F(EasyFetchwell, DownloadsAConfigurationAnImageAndAnInstaller) {
    const std::string config = R"({"data": {"Product": {}}} trailing text)";
    const std::string png = Png(5000);
    const std::string exe = Exe(300000);
    m_server.putFile(Unique("config.json"), config);
    m_server.putFile(Unique("start.png"), png);
    m_server.putFile(Unique("setup.exe"), exe);
    {
        Nolvar::EasyFetchwell fetch(m_events.loop(), Quick());
        fetch.download(Item(DownloadKind::Configuration, "config", m_server.httpUrl("/files/" + Unique("config.json"))));
        fetch.download(Item(DownloadKind::SplashImage, "START", m_server.httpUrl("/files/" + Unique("start.png")),
                            ioPath((m_temp / L"картинка.png").wstring())));
        fetch.download(Item(DownloadKind::ProductInstaller, "browser",
                            m_server.httpUrl("/files/" + Unique("setup.exe") + "?rate=2000000")));

        const auto configEvents = m_events.Outcome("config");
        ASSERT_TRUE(Types(configEvents) == "start finish" || Types(configEvents) == "start progress finish")
            << Types(configEvents);
        const DownloadItem& finishedConfig = configEvents.back().item;
        EXPECT_EQ(finishedConfig.targetPath, Nolvar::GetWorkingFolder() / L"config.json");
        EXPECT_EQ(Testing::ReadWholeFile(finishedConfig.targetPath.wstring()), config);

        const auto imageEvents = m_events.Outcome("START");
        ASSERT_EQ(Types(imageEvents).substr(0, 5), "start");
        ASSERT_EQ(imageEvents.back().type, "finish");
        EXPECT_EQ(Testing::ReadWholeFile(m_temp / L"картинка.png"), png);

        const auto exeEvents = m_events.Outcome("browser");
        EXPECT_EQ(Types(exeEvents), "start progress finish");
        const DownloadItem& finishedExe = exeEvents.back().item;
        EXPECT_EQ(finishedExe.targetPath, Nolvar::GetWorkingFolder() / Nolvar::Core::PathFromUtf8(Unique("setup.exe")));
        EXPECT_EQ(finishedExe.state.status, Nolvar::App::IRemoteResource::Available);
        EXPECT_EQ(finishedExe.state.done, exe.size());
        EXPECT_EQ(finishedExe.state.total, exe.size());
        EXPECT_EQ(Testing::ReadWholeFile(finishedExe.targetPath.wstring()), exe);
        EXPECT_FALSE(std::filesystem::exists(finishedExe.targetPath.wstring() + L".tmp"));
    }
}

TEST_F(EasyFetchwell, FilesFailingTheirContentCheckAreReportedAsFailed) {
    m_server.putFile(Unique("fake.png"), "GIF89a not a png");
    m_server.putFile(Unique("fake.exe"), "ZM not an exe");
    m_server.putFile(Unique("broken.json"), R"({"data": {"Product": )");
    Nolvar::EasyFetchwell fetch(m_events.loop(), Quick());
    fetch.download(Item(DownloadKind::SplashImage, "READY", m_server.httpUrl("/files/" + Unique("fake.png"))));
    fetch.download(Item(DownloadKind::ProductInstaller, "app", m_server.httpUrl("/files/" + Unique("fake.exe"))));
    fetch.download(Item(DownloadKind::Configuration, "config", m_server.httpUrl("/files/" + Unique("broken.json"))));
    EXPECT_EQ(m_events.Outcome("READY").back().type, "fail");
    EXPECT_EQ(m_events.Outcome("app").back().type, "fail");
    EXPECT_EQ(m_events.Outcome("config").back().type, "fail");
    // The library's state stays as it reported it.
    EXPECT_EQ(m_events.Outcome("app").back().item.state.status, Nolvar::App::IRemoteResource::Available);
}

TEST_F(EasyFetchwell, RejectedUrlsFailAtOnceWithoutARequest) {
    const std::string key = Unique("rejected");
    Nolvar::EasyFetchwell fetch(m_events.loop(), Quick());
    fetch.download(Item(DownloadKind::ProductInstaller, "zip", m_server.httpUrl("/files/setup.zip?record=" + key)));
    fetch.download(Item(DownloadKind::SplashImage, "START", m_server.httpUrl("/files/start.jpg?record=" + key)));
    EXPECT_NO_THROW(fetch.download(Item(DownloadKind::Configuration, "config", "http://[bad host/config.json")));
    EXPECT_NO_THROW(fetch.download(Item(DownloadKind::ProductInstaller, "bad", "%%%.exe")));
    EXPECT_EQ(Types(m_events.Outcome("zip")), "fail");
    EXPECT_EQ(Types(m_events.Outcome("START")), "fail");
    EXPECT_EQ(Types(m_events.Outcome("config")), "fail");
    EXPECT_EQ(Types(m_events.Outcome("bad")), "fail");
    EXPECT_EQ(Gets(key), 0u);
}

TEST_F(EasyFetchwell, OneDownloadServesEveryItemOfTheSameUrl) {
    const std::string key = Unique("same");
    const std::string exe = Exe(20000);
    m_server.putFile(Unique("shared.exe"), exe);
    const std::string url = m_server.httpUrl("/files/" + Unique("shared.exe") + "?delay=500&record=" + key);
    Nolvar::EasyFetchwell fetch(m_events.loop(), Quick());
    fetch.download(Item(DownloadKind::ProductInstaller, "first", url, ioPath((m_temp / L"first.exe").wstring())));
    fetch.download(Item(DownloadKind::ProductInstaller, "second", url));

    const auto first = m_events.Outcome("first");
    const auto second = m_events.Outcome("second");
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(first.back().type, "finish");
    EXPECT_EQ(second.back().type, "finish");
    EXPECT_TRUE(second.back().item.alreadyRequested);
    EXPECT_EQ(second.back().item.targetPath, ioPath((m_temp / L"first.exe").wstring()));
    EXPECT_EQ(second.back().item.state.total, exe.size());

    // A later item of a finished URL is served at once.
    fetch.download(Item(DownloadKind::ProductInstaller, "third", url));
    const auto third = m_events.Outcome("third", 5s);
    ASSERT_EQ(Types(third), "finish");
    EXPECT_EQ(third.back().item.targetPath, ioPath((m_temp / L"first.exe").wstring()));
    EXPECT_EQ(Gets(key), 1u);
}

TEST_F(EasyFetchwell, AFailedDownloadServesItsDuplicatesAndCanBeRetried) {
    const std::string key = Unique("retry");
    const std::string exe = Exe(4000);
    m_server.script(key, nlohmann::json::array({{{"status", 500}}}).dump());
    const std::string url = m_server.httpUrl("/script/" + key + "/setup.exe");
    Nolvar::EasyFetchwell fetch(m_events.loop(), Quick());
    fetch.download(Item(DownloadKind::ProductInstaller, "product", url));
    EXPECT_EQ(m_events.Outcome("product").back().type, "fail");

    fetch.download(Item(DownloadKind::ProductInstaller, "twin", url));
    EXPECT_EQ(Types(m_events.Outcome("twin", 5s)), "fail");

    m_server.script(key, nlohmann::json::array({{{"status", 200}, {"body", exe}}}).dump());
    const std::size_t before = m_events.Count();
    fetch.retry(url);
    fetch.retry(m_server.httpUrl("/never/registered.exe"));
    for (int i = 0; i < 300 && m_events.Of("twin").size() < 2; ++i) std::this_thread::sleep_for(20ms);
    EXPECT_GT(m_events.Count(), before);
    const auto product = m_events.Of("product");
    EXPECT_EQ(product.back().type, "finish");
    EXPECT_EQ(Testing::ReadWholeFile(product.back().item.targetPath.wstring()), exe);
    const auto twin = m_events.Of("twin");
    ASSERT_EQ(twin.size(), 2u);
    EXPECT_EQ(twin.back().type, "finish");
    EXPECT_EQ(twin.back().item.targetPath, product.back().item.targetPath);
}

// A download reports every outcome, also after a retry of a finished one; twins of its URL hear each one.
TEST_F(EasyFetchwell, EveryReportOfADownloadIsPosted) {
    const std::string exe = Exe(3000);
    m_server.putFile(Unique("again.exe"), exe);
    const std::string url = m_server.httpUrl("/files/" + Unique("again.exe"));
    Nolvar::EasyFetchwell fetch(m_events.loop(), Quick());
    fetch.download(Item(DownloadKind::ProductInstaller, "again", url));
    ASSERT_EQ(m_events.Outcome("again").back().type, "finish");
    fetch.download(Item(DownloadKind::ProductInstaller, "twin", url));
    ASSERT_EQ(Types(m_events.Outcome("twin", 5s)), "finish");

    // The file is gone: the retry downloads it again, and that download reports its outcome too.
    std::filesystem::remove(m_events.Of("again").back().item.targetPath.wstring());
    fetch.retry(url);
    const auto finishes = [&](const std::string& id) {
        std::size_t n = 0;
        for (const auto& e : m_events.Of(id)) n += e.type == "finish";
        return n;
    };
    for (int i = 0; i < 1500 && finishes("again") < 2; ++i) std::this_thread::sleep_for(20ms);
    EXPECT_EQ(finishes("again"), 2u) << Types(m_events.Of("again"));
    EXPECT_EQ(Testing::ReadWholeFile(m_events.Of("again").back().item.targetPath.wstring()), exe);
    EXPECT_EQ(m_events.Of("again").back().item.targetPath, m_events.Of("twin").back().item.targetPath);
}

TEST_F(EasyFetchwell, TargetsStayInsideTheWorkingFolderAndApart) {
    const std::string k1 = Unique("name1");
    const std::string k2 = Unique("name2");
    const std::string k3 = Unique("escape");
    m_server.script(k1, nlohmann::json::array({{{"status", 200}, {"body", Exe(100)}}}).dump());
    m_server.script(k2, nlohmann::json::array({{{"status", 200}, {"body", Exe(200)}}}).dump());
    m_server.script(k3, nlohmann::json::array({{{"status", 200}, {"body", Exe(300)}}}).dump());
    Nolvar::EasyFetchwell fetch(m_events.loop(), Quick());
    fetch.download(Item(DownloadKind::ProductInstaller, "one", m_server.httpUrl("/script/" + k1 + "/Setup.exe")));
    fetch.download(Item(DownloadKind::ProductInstaller, "two", m_server.httpUrl("/script/" + k2 + "/setup.exe")));
    fetch.download(Item(DownloadKind::ProductInstaller, "three", m_server.httpUrl("/script/" + k3 + "/..%5C..%2F..%5Cevil.exe")));
    const auto one = m_events.Outcome("one").back();
    const auto two = m_events.Outcome("two").back();
    const auto three = m_events.Outcome("three").back();
    ASSERT_EQ(one.type, "finish");
    ASSERT_EQ(two.type, "finish");
    ASSERT_EQ(three.type, "finish");
    const ioPath folder = Nolvar::GetWorkingFolder();
    EXPECT_EQ(one.item.targetPath, folder / L"Setup.exe");
    EXPECT_EQ(two.item.targetPath, folder / L"setup-2.exe");
    EXPECT_EQ(three.item.targetPath.parent_path(), folder);
    EXPECT_EQ(Testing::ReadWholeFile(one.item.targetPath.wstring()).size(), 100u);
    EXPECT_EQ(Testing::ReadWholeFile(two.item.targetPath.wstring()).size(), 200u);
    EXPECT_EQ(Testing::ReadWholeFile(three.item.targetPath.wstring()).size(), 300u);
}

// At the product's own limits and waits: images that fail (an error answer, a host that refuses) never
// make the connection look offline, so a product that needs its fifth try gets it, as soon as with working images.
TEST_F(EasyFetchwell, FailingImagesLeaveAProductItsTriesAndItsPace) {
    const std::string key = Unique("fifth");
    const std::string exe = Exe(5000);
    nlohmann::json answers = nlohmann::json::array();
    for (int i = 0; i < 4; ++i) answers.push_back({{"status", 503}});
    answers.push_back({{"status", 200}, {"body", exe}});
    m_server.script(key, answers.dump());
    const auto begin = std::chrono::steady_clock::now();
    Nolvar::EasyFetchwell fetch(m_events.loop());
    fetch.download(Item(DownloadKind::SplashImage, "START", m_server.httpUrl("/files/" + Unique("gone-start.png"))));
    fetch.download(Item(DownloadKind::SplashImage, "PROGRESS", m_server.httpUrl("/files/" + Unique("gone.png"))));
    fetch.download(Item(DownloadKind::SplashImage, "WAIT", "http://127.0.0.1:9/wait.png"));
    // (No unknown host here: how long a failed name lookup takes is the machine's resolver's business.)
    fetch.download(Item(DownloadKind::SplashImage, "READY", "http://127.0.0.1:9/ready.png"));
    fetch.download(Item(DownloadKind::ProductInstaller, "product", m_server.httpUrl("/script/" + key + "/setup.exe")));

    const auto product = m_events.Outcome("product", 60s);
    ASSERT_FALSE(product.empty());
    EXPECT_EQ(product.back().type, "finish") << Types(product);
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 20s);
    EXPECT_EQ(Gets(key), 5u);
    for (const std::string image : {"START", "PROGRESS", "WAIT", "READY"})
        EXPECT_EQ(m_events.Outcome(image, 60s).back().type, "fail") << image;
}

TEST_F(EasyFetchwell, DestructionStopsDownloadsAndTheLoop) {
    m_server.putFile(Unique("slow.exe"), Exe(100000));
    auto loop = std::make_shared<Nolvar::EventLoop>();
    std::vector<std::string> seen;
    std::mutex mutex;
    loop->on<Nolvar::FinishDownload>([&](const auto&) { std::lock_guard l(mutex); seen.push_back("finish"); });
    loop->on<Nolvar::FailDownload>([&](const auto&) { std::lock_guard l(mutex); seen.push_back("fail"); });
    std::thread runner([&] { loop->run(); });
    const auto begin = std::chrono::steady_clock::now();
    {
        Nolvar::EasyFetchwell fetch(loop, Quick());
        fetch.download(Item(DownloadKind::ProductInstaller, "slow",
                            m_server.httpUrl("/files/" + Unique("slow.exe") + "?stall_after=1000&stall=30")));
        std::this_thread::sleep_for(500ms);
    }
    runner.join();   // the destructor stopped the loop
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 10s);
    std::lock_guard l(mutex);
    EXPECT_TRUE(seen.empty());
}

TEST(EasyFetchwellChecks, ContentChecksByKind) {
    Testing::TempFolder temp(L"netsetter-check-");
    auto item = [&](DownloadKind kind, const std::wstring& name, const std::string& content, std::uint64_t total) {
        Testing::WriteWholeFile(temp / name, content);
        DownloadItem it = Item(kind, "x", "", ioPath((temp / name).wstring()));
        it.state.total = total;
        return it;
    };
    EXPECT_TRUE(Nolvar::ValidateResource(item(DownloadKind::SplashImage, L"a.png", Png(100), 100)));
    EXPECT_FALSE(Nolvar::ValidateResource(item(DownloadKind::SplashImage, L"b.png", Png(100), 99)));
    EXPECT_FALSE(Nolvar::ValidateResource(item(DownloadKind::SplashImage, L"c.png", "\x89PNG", 4)));
    EXPECT_TRUE(Nolvar::ValidateResource(item(DownloadKind::ProductInstaller, L"a.exe", "MZ", 2)));
    EXPECT_FALSE(Nolvar::ValidateResource(item(DownloadKind::ProductInstaller, L"b.exe", "M", 1)));
    EXPECT_TRUE(Nolvar::ValidateResource(item(DownloadKind::Configuration, L"a.json", "[1, 2] and more", 1)));
    EXPECT_FALSE(Nolvar::ValidateResource(item(DownloadKind::Configuration, L"b.json", "", 0)));
    EXPECT_FALSE(Nolvar::ValidateResource(item(DownloadKind::Configuration, L"c.json", "{\"a\": ", 6)));
    // Depth costs nothing: the check keeps no value.
    const std::string deep = std::string(300000, '[') + std::string(300000, ']');
    EXPECT_TRUE(Nolvar::ValidateResource(item(DownloadKind::Configuration, L"deep.json", deep, 1)));
    EXPECT_FALSE(Nolvar::ValidateResource(item(DownloadKind::Configuration, L"open.json", deep.substr(0, 300001), 1)));
    EXPECT_FALSE(Nolvar::ValidateResource(item(static_cast<DownloadKind>(5), L"d.bin", "MZ", 2)));
    DownloadItem missing = Item(DownloadKind::ProductInstaller, "x", "", ioPath((temp / L"missing.exe").wstring()));
    EXPECT_FALSE(Nolvar::ValidateResource(missing));
}

TEST(EasyFetchwellChecks, SafeFileNames) {
    using Nolvar::SafeDownloadFileName;
    EXPECT_EQ(SafeDownloadFileName(ioPath(L"Установка.exe")), ioPath(L"Установка.exe"));
    EXPECT_EQ(SafeDownloadFileName(ioPath(L"..\\..\\evil.exe")), ioPath(L".._.._evil.exe"));
    EXPECT_EQ(SafeDownloadFileName(ioPath(L"C:evil.exe")), ioPath(L"C_evil.exe"));
    EXPECT_EQ(SafeDownloadFileName(ioPath(L"..")), ioPath(L"download"));
    EXPECT_EQ(SafeDownloadFileName(ioPath()), ioPath(L"download"));
    EXPECT_EQ(SafeDownloadFileName(ioPath(L"CON.exe")), ioPath(L"_CON.exe"));
    EXPECT_EQ(SafeDownloadFileName(ioPath(L"a<b>.png")), ioPath(L"a_b_.png"));
}

} // namespace
