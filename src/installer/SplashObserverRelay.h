#pragma once
// The window's observer until the installer logic exists: the window starts before the logic (its first frame
// waits for nothing the logic makes), and the logic becomes its observer once it is made. What the window reports
// before then (a failure of the window) is kept and handed to the logic when it attaches, in order.
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "splash/ISplashEventObserver.h"

namespace Nolvar {

class SplashObserverRelay final : public ISplashEventObserver {
public:
    // Hands `observer` what was kept (on the calling thread), then every later call.
    void Attach(ISplashEventObserver& observer);

    void OnStartPressed() override { Forward([](ISplashEventObserver& o) { o.OnStartPressed(); }); }
    void OnReadyPressed() override { Forward([](ISplashEventObserver& o) { o.OnReadyPressed(); }); }
    void OnExit(int screen, const std::string& reason) override {
        Forward([=](ISplashEventObserver& o) { o.OnExit(screen, reason); });
    }
    void OnEulaRequestSucceeded() override { Forward([](ISplashEventObserver& o) { o.OnEulaRequestSucceeded(); }); }
    void OnEulaRequestFailed() override { Forward([](ISplashEventObserver& o) { o.OnEulaRequestFailed(); }); }
    void OnEulaShown() override { Forward([](ISplashEventObserver& o) { o.OnEulaShown(); }); }
    void OnEulaHidden() override { Forward([](ISplashEventObserver& o) { o.OnEulaHidden(); }); }
    void OnSkip() override { Forward([](ISplashEventObserver& o) { o.OnSkip(); }); }
    void OnRetryPressed() override { Forward([](ISplashEventObserver& o) { o.OnRetryPressed(); }); }
    void OnRetryCancelled() override { Forward([](ISplashEventObserver& o) { o.OnRetryCancelled(); }); }
    void OnSelectFolder() override { Forward([](ISplashEventObserver& o) { o.OnSelectFolder(); }); }
    void OnScreenShown(int screen, bool imageShown) override {
        Forward([=](ISplashEventObserver& o) { o.OnScreenShown(screen, imageShown); });
    }
    void OnScreenImageAdded(int type) override { Forward([=](ISplashEventObserver& o) { o.OnScreenImageAdded(type); }); }
    void OnSomethingWrongShown(const std::string& text) override {
        Forward([=](ISplashEventObserver& o) { o.OnSomethingWrongShown(text); });
    }

private:
    using Call = std::function<void(ISplashEventObserver&)>;
    // Calls the observer, or keeps the call for it while there is none.
    void Forward(Call call);

    std::mutex m_mutex;
    ISplashEventObserver* m_observer = nullptr;
    std::vector<Call> m_kept;
};

} // namespace Nolvar
