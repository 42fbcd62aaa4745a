#include <atomic>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "utils/Settings.h"
#include "utils/SettingsInit.h"

using namespace Nolvar;

namespace {

class Recorder : public ISettingsObserver {
public:
    void OnSettingChanged(Settings::ID id, const std::any&) override { ids.push_back(id); }
    std::vector<Settings::ID> ids;
};

struct Subscription {
    explicit Subscription(ISettingsObserver* o) : observer(o) { Settings::Subscribe(o); }
    ~Subscription() { Settings::Unsubscribe(observer); }
    ISettingsObserver* observer;
};

} // namespace

TEST(SettingsStore, TypedReadersGiveTheDefaultWhenUnsetAndFailOnAnotherType) {
    EXPECT_FALSE(Settings::Get(Settings::ID::PlatformType).has_value());
    EXPECT_EQ(Settings::GetString(Settings::ID::PlatformType, "fallback"), "fallback");
    EXPECT_EQ(Settings::GetPath(Settings::ID::InstallFolder, L"C:\\x"), ioPath(L"C:\\x"));

    Settings::Set(Settings::ID::DisableAutostart, std::any(true));
    EXPECT_THROW(Settings::GetString(Settings::ID::DisableAutostart, ""), std::bad_any_cast);
    Settings::Set(Settings::ID::DisableAutostart, std::any(std::string("yes")));
    EXPECT_EQ(Settings::GetString(Settings::ID::DisableAutostart, ""), "yes");
    Settings::Set(Settings::ID::InstallFolder, std::any(ioPath(L"D:\\Программы")));
    EXPECT_EQ(Settings::GetPath(Settings::ID::InstallFolder, {}), ioPath(L"D:\\Программы"));
}

TEST(SettingsStore, LocaleWriteKeepsAWideCopyAndNotifiesOnce) {
    Recorder recorder;
    Subscription subscription(&recorder);
    Settings::Set(Settings::ID::Locale, std::any(std::string("ru-RU")));
    EXPECT_EQ(Settings::GetWideString(Settings::ID::LocaleWide, L""), L"ru-RU");
    EXPECT_EQ(GetCurrentLocale(), "ru-RU");
    EXPECT_EQ(recorder.ids, std::vector<Settings::ID>{Settings::ID::Locale});

    recorder.ids.clear();
    EXPECT_THROW(Settings::Set(Settings::ID::Locale, std::any(42)), std::bad_any_cast);
    EXPECT_TRUE(recorder.ids.empty());
    Settings::Set(Settings::ID::Locale, std::any(std::string("en-US")));
}

TEST(SettingsStore, ObserversAreCalledInOrderOnceEachAndNestedWritesComeFirst) {
    std::vector<std::string> calls;
    struct Writer : ISettingsObserver {
        std::vector<std::string>& calls;
        explicit Writer(std::vector<std::string>& c) : calls(c) {}
        void OnSettingChanged(Settings::ID id, const std::any&) override {
            calls.push_back("writer " + std::to_string(static_cast<int>(id)));
            if (id == Settings::ID::BundleVersion) Settings::Set(Settings::ID::PlatformType, std::any(std::string("x")));
        }
    } writer(calls);
    struct Listener : ISettingsObserver {
        std::vector<std::string>& calls;
        explicit Listener(std::vector<std::string>& c) : calls(c) {}
        void OnSettingChanged(Settings::ID id, const std::any&) override {
            calls.push_back("listener " + std::to_string(static_cast<int>(id)));
        }
    } listener(calls);

    Settings::Subscribe(&writer);
    Settings::Subscribe(&writer); // a second subscription adds nothing
    Settings::Subscribe(&listener);
    Settings::Set(Settings::ID::BundleVersion, std::any(std::string("1.2")));
    EXPECT_EQ(calls, (std::vector<std::string>{"writer 6", "writer 5", "listener 5", "listener 6"}));

    Settings::Unsubscribe(&writer); // one unsubscription removes it
    Settings::Unsubscribe(nullptr);
    Recorder stranger;
    Settings::Unsubscribe(&stranger);
    calls.clear();
    Settings::Set(Settings::ID::BundleVersion, std::any(std::string("1.3")));
    EXPECT_EQ(calls, (std::vector<std::string>{"listener 6"}));
    Settings::Unsubscribe(&listener);
}

TEST(SettingsStore, WritesFromSeveralThreadsAreSerialisedAndUnsubscribedObserversAreNeverCalled) {
    struct Counter : ISettingsObserver {
        std::atomic<int> inside{0};
        std::atomic<int> calls{0};
        std::atomic<bool> overlapped{false};
        std::atomic<bool> unsubscribed{false};
        std::atomic<bool> calledAfterUnsubscribe{false};
        void OnSettingChanged(Settings::ID, const std::any&) override {
            if (unsubscribed) calledAfterUnsubscribe = true;
            if (++inside > 1) overlapped = true;
            std::this_thread::yield();
            --inside;
            ++calls;
        }
    } counter;
    Settings::Subscribe(&counter);
    // Writers go on until 400 more writes have landed after the unsubscription.
    std::atomic<int> writesAfterUnsubscribe{0};
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t)
        writers.emplace_back([t, &counter, &writesAfterUnsubscribe] {
            for (int i = 0; writesAfterUnsubscribe < 400; ++i) {
                Settings::Set(Settings::ID::InstalledWithIpcIds, std::any(std::to_string(t * 100000 + i)));
                if (counter.unsubscribed) ++writesAfterUnsubscribe;
            }
        });
    while (counter.calls < 200) std::this_thread::yield();
    Settings::Unsubscribe(&counter);
    counter.unsubscribed = true;
    for (auto& writer : writers) writer.join();
    EXPECT_FALSE(counter.overlapped);
    EXPECT_FALSE(counter.calledAfterUnsubscribe);
    const std::string last = Settings::GetString(Settings::ID::InstalledWithIpcIds, "");
    EXPECT_FALSE(last.empty());
}
