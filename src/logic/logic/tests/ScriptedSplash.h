#pragma once
// A stand-in for the window in the logic's tests: records every ISplash call as a line of text and acts as a
// user would, on a "UI thread" of its own, by the rules the test gives.
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "splash/ISplash.h"
#include "splash/ISplashEventObserver.h"

namespace LogicTest {

// What the user does; shared by the test and the splash, outlives the splash.
class SplashScript {
public:
    using Action = std::function<void(Nolvar::ISplashEventObserver&)>;

    // Runs `action` on the UI thread after every call whose text starts with `prefix` (`times` < 0: always).
    void When(const std::string& prefix, Action action, int times = -1);
    // The splash throws from calls whose text starts with `prefix`, after letting the first `spared` pass.
    void ThrowOn(const std::string& prefix, int spared = 0);

    std::vector<std::string> Calls() const;
    // Calls whose text starts with `prefix`.
    int Count(const std::string& prefix) const;
    bool WaitFor(const std::string& prefix, std::chrono::milliseconds limit);

private:
    friend class ScriptedSplash;
    struct Rule {
        std::string prefix;
        Action action;
        int times;
    };
    // Records the call; the actions it triggers.
    std::vector<Action> Record(const std::string& call);

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::string> m_calls;
    std::vector<Rule> m_rules;
    struct Failure {
        std::string prefix;
        int spared;
    };
    std::vector<Failure> m_throwOn;
};

class ScriptedSplash final : public Nolvar::ISplash {
public:
    ScriptedSplash(Nolvar::ISplashEventObserver& observer, std::shared_ptr<SplashScript> script);
    ~ScriptedSplash() override;

    void SetScreen(Nolvar::SplashScreen screen) override;
    void SetProgress(unsigned percent) override;
    void Close() override;
    void SetSplashImage(std::string encodedImage) override;
    void SetSplashImageMissing() override;
    void AddImage(Nolvar::SplashImageType type, std::string encodedImage) override;
    void SetImageMissing(Nolvar::SplashImageType type) override;
    void SetCaption(const std::string& caption) override;
    void SetCloseButtonHidden(int hidden) override;
    void ShowNoConnectionPopup() override;
    void ShowRetryPopup(const std::string& productDisplayName, Nolvar::ExitState exitState) override;
    void ShowPlatformPopup(const std::string& bitness) override;
    void ShowAlreadyRunningPopup(const std::string& productDisplayName) override;
    void ShowDiskSpacePopup(const std::string& folder, std::uint64_t requiredBytes, std::uint64_t availableBytes) override;
    void ShowCloseProductPopup(const std::string& productDisplayName) override;

    // The factory the logic is given.
    static std::function<std::unique_ptr<Nolvar::ISplash>(Nolvar::ISplashEventObserver&)> Factory(
        std::shared_ptr<SplashScript> script);

private:
    void Call(const std::string& text, std::function<void()> uiWork = {});
    void Post(std::function<void()> work);
    void StopUiThread();

    Nolvar::ISplashEventObserver& m_observer;
    std::shared_ptr<SplashScript> m_script;
    bool m_mainImage = false;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_queue;
    bool m_stop = false;
    std::thread m_ui;
};

} // namespace LogicTest
