#pragma once
// The window's observer until the installer logic exists: the window starts before the logic (its first frame
// waits for nothing the logic makes), and the logic becomes its observer once it is made. What the window reports
// before then (a failure of the window) is kept and handed to the logic when it attaches, in order.
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "splash/ISplashEventObserver.h"

namespace Nolvar {

class SplashObserverRelay final : public ISplashEventObserver {
public:
    // Hands `observer` what was kept (on the calling thread), then every later call.
    void Attach(ISplashEventObserver& observer);

    void OnStartPressed() override { Forward([](Observer& o, const Report&) { o.OnStartPressed(); }); }
    void OnReadyPressed() override { Forward([](Observer& o, const Report&) { o.OnReadyPressed(); }); }
    void OnExit(int screen, const std::string& reason) override {
        Forward([](Observer& o, const Report& r) { o.OnExit(r.number, r.text); }, {screen, false, reason});
    }
    void OnEulaRequestSucceeded() override { Forward([](Observer& o, const Report&) { o.OnEulaRequestSucceeded(); }); }
    void OnEulaRequestFailed() override { Forward([](Observer& o, const Report&) { o.OnEulaRequestFailed(); }); }
    void OnEulaShown() override { Forward([](Observer& o, const Report&) { o.OnEulaShown(); }); }
    void OnEulaHidden() override { Forward([](Observer& o, const Report&) { o.OnEulaHidden(); }); }
    void OnSkip() override { Forward([](Observer& o, const Report&) { o.OnSkip(); }); }
    void OnRetryPressed() override { Forward([](Observer& o, const Report&) { o.OnRetryPressed(); }); }
    void OnRetryCancelled() override { Forward([](Observer& o, const Report&) { o.OnRetryCancelled(); }); }
    void OnSelectFolder() override { Forward([](Observer& o, const Report&) { o.OnSelectFolder(); }); }
    void OnScreenShown(int screen, bool imageShown) override {
        Forward([](Observer& o, const Report& r) { o.OnScreenShown(r.number, r.flag); }, {screen, imageShown, {}});
    }
    void OnScreenImageAdded(int type) override {
        Forward([](Observer& o, const Report& r) { o.OnScreenImageAdded(r.number); }, {type, false, {}});
    }
    void OnSomethingWrongShown(const std::string& text) override {
        Forward([](Observer& o, const Report& r) { o.OnSomethingWrongShown(r.text); }, {0, false, text});
    }

private:
    using Observer = ISplashEventObserver;
    // The arguments of one call (`{}` when it has none).
    struct Report {
        int number;
        bool flag;
        std::string text;
    };
    using Delivery = void (*)(Observer&, const Report&);

    // Delivers the call to the observer, or keeps it for the observer while there is none.
    void Forward(Delivery delivery, Report report = {});

    std::mutex m_mutex;
    Observer* m_observer = nullptr;
    std::vector<std::pair<Delivery, Report>> m_kept;
};

} // namespace Nolvar
