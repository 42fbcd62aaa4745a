#include "logic/logic/tests/ScriptedSplash.h"

#include <stdexcept>

#include <fmt/format.h>

namespace LogicTest {

using namespace Nolvar;

void SplashScript::When(const std::string& prefix, Action action, int times) {
    std::lock_guard lock(m_mutex);
    m_rules.push_back({prefix, std::move(action), times});
}

void SplashScript::ThrowOn(const std::string& prefix, int spared) {
    std::lock_guard lock(m_mutex);
    m_throwOn.push_back({prefix, spared});
}

std::vector<std::string> SplashScript::Calls() const {
    std::lock_guard lock(m_mutex);
    return m_calls;
}

int SplashScript::Count(const std::string& prefix) const {
    int n = 0;
    for (const auto& call : Calls())
        if (call.rfind(prefix, 0) == 0) ++n;
    return n;
}

bool SplashScript::WaitFor(const std::string& prefix, std::chrono::milliseconds limit) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, limit, [&] {
        for (const auto& call : m_calls)
            if (call.rfind(prefix, 0) == 0) return true;
        return false;
    });
}

std::vector<SplashScript::Action> SplashScript::Record(const std::string& call) {
    std::vector<Action> actions;
    {
        std::lock_guard lock(m_mutex);
        m_calls.push_back(call);
        for (auto& failure : m_throwOn)
            if (call.rfind(failure.prefix, 0) == 0 && failure.spared-- <= 0)
                throw std::runtime_error("splash failed on " + call);
        for (auto& rule : m_rules) {
            if (rule.times == 0 || call.rfind(rule.prefix, 0) != 0) continue;
            if (rule.times > 0) --rule.times;
            actions.push_back(rule.action);
        }
    }
    m_changed.notify_all();
    return actions;
}

ScriptedSplash::ScriptedSplash(ISplashEventObserver& observer, std::shared_ptr<SplashScript> script)
    : m_observer(observer), m_script(std::move(script)) {
    m_ui = std::thread([this] {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [&] { return m_stop || !m_queue.empty(); });
            if (m_queue.empty()) return;
            auto work = std::move(m_queue.front());
            m_queue.pop_front();
            lock.unlock();
            work();
            lock.lock();
        }
    });
}

ScriptedSplash::~ScriptedSplash() { StopUiThread(); }

std::function<std::unique_ptr<ISplash>(ISplashEventObserver&)> ScriptedSplash::Factory(
    std::shared_ptr<SplashScript> script) {
    return [script](ISplashEventObserver& observer) -> std::unique_ptr<ISplash> {
        return std::make_unique<ScriptedSplash>(observer, script);
    };
}

void ScriptedSplash::Post(std::function<void()> work) {
    {
        std::lock_guard lock(m_mutex);
        if (m_stop) return;
        m_queue.push_back(std::move(work));
    }
    m_wake.notify_all();
}

void ScriptedSplash::StopUiThread() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_ui.joinable() && m_ui.get_id() != std::this_thread::get_id()) m_ui.join();
}

void ScriptedSplash::Call(const std::string& text, std::function<void()> uiWork) {
    auto actions = m_script->Record(text);
    if (uiWork) Post(std::move(uiWork));
    for (auto& action : actions) Post([this, action = std::move(action)] { action(m_observer); });
}

void ScriptedSplash::SetScreen(SplashScreen screen) {
    const int number = static_cast<int>(screen);
    const bool image = number <= 3 && m_mainImage;
    Call(fmt::format("SetScreen {}", number), [this, number, image] { m_observer.OnScreenShown(number, image); });
}

void ScriptedSplash::SetProgress(unsigned percent) { Call(fmt::format("SetProgress {}", percent)); }

void ScriptedSplash::Close() {
    Call("Close");
    StopUiThread();
}

void ScriptedSplash::SetSplashImage(std::string encodedImage) {
    m_mainImage = !encodedImage.empty();
    Call(fmt::format("SetSplashImage {}", encodedImage.size()));
}

void ScriptedSplash::SetSplashImageMissing() {
    m_mainImage = false;
    Call("SetSplashImageMissing");
}

void ScriptedSplash::AddImage(SplashImageType type, std::string encodedImage) {
    const int number = static_cast<int>(type);
    Call(fmt::format("AddImage {} {}", number, encodedImage.size()),
         [this, number] { m_observer.OnScreenImageAdded(number); });
}

void ScriptedSplash::SetImageMissing(SplashImageType type) {
    Call(fmt::format("SetImageMissing {}", static_cast<int>(type)));
}

void ScriptedSplash::SetCaption(const std::string& caption) { Call("SetCaption " + caption); }

void ScriptedSplash::SetCloseButtonHidden(int hidden) { Call(fmt::format("SetCloseButtonHidden {}", hidden)); }

void ScriptedSplash::ShowNoConnectionPopup() { Call("ShowNoConnectionPopup"); }

void ScriptedSplash::ShowRetryPopup(const std::string& productDisplayName, ExitState exitState) {
    Call(fmt::format("ShowRetryPopup {} {}", productDisplayName, exitState));
}

void ScriptedSplash::ShowPlatformPopup(const std::string& bitness) { Call("ShowPlatformPopup " + bitness); }

void ScriptedSplash::ShowAlreadyRunningPopup(const std::string& productDisplayName) {
    Call("ShowAlreadyRunningPopup " + productDisplayName);
}

void ScriptedSplash::ShowDiskSpacePopup(const std::string& folder, std::uint64_t requiredBytes,
                                        std::uint64_t availableBytes) {
    Call(fmt::format("ShowDiskSpacePopup {} {} {}", requiredBytes, availableBytes, folder));
}

void ScriptedSplash::ShowCloseProductPopup(const std::string& productDisplayName) {
    Call("ShowCloseProductPopup " + productDisplayName);
}

} // namespace LogicTest
