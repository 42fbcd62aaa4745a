#pragma once
// An ISplashEventObserver that records every call, for window tests that drive a WinSplash directly.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "splash/ISplashEventObserver.h"

namespace Testing {

class RecordingSplashObserver final : public Nolvar::ISplashEventObserver {
public:
    void OnStartPressed() override { Record("StartPressed"); }
    void OnReadyPressed() override { Record("ReadyPressed"); }
    void OnExit(int screen, const std::string& reason) override {
        Record("Exit " + std::to_string(screen) + " " + reason);
    }
    void OnEulaRequestSucceeded() override { Record("EulaRequestSucceeded"); }
    void OnEulaRequestFailed() override { Record("EulaRequestFailed"); }
    void OnEulaShown() override { Record("EulaShown"); }
    void OnEulaHidden() override { Record("EulaHidden"); }
    void OnSkip() override { Record("Skip"); }
    void OnRetryPressed() override { Record("RetryPressed"); }
    void OnRetryCancelled() override { Record("RetryCancelled"); }
    void OnSelectFolder() override { Record("SelectFolder"); }
    void OnScreenShown(int screen, bool imageShown) override {
        Record("ScreenShown " + std::to_string(screen) + (imageShown ? " image" : " no-image"));
    }
    void OnScreenImageAdded(int type) override { Record("ScreenImageAdded " + std::to_string(type)); }
    void OnSomethingWrongShown(const std::string& text) override { Record("SomethingWrongShown " + text); }

    std::vector<std::string> Calls() const {
        std::lock_guard lock(m_mutex);
        return m_calls;
    }

    bool Has(const std::string& call) const {
        std::lock_guard lock(m_mutex);
        for (const auto& c : m_calls)
            if (c == call) return true;
        return false;
    }

    // Waits until `call` has been recorded.
    bool WaitFor(const std::string& call, std::chrono::milliseconds timeout = std::chrono::seconds(60)) const {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] {
            for (const auto& c : m_calls)
                if (c == call) return true;
            return false;
        });
    }

private:
    void Record(std::string call) {
        {
            std::lock_guard lock(m_mutex);
            m_calls.push_back(std::move(call));
        }
        m_changed.notify_all();
    }

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<std::string> m_calls;
};

} // namespace Testing
