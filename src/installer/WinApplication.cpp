#include "installer/Application.h"

#include "installer/SplashObserverRelay.h"
#include "logic/logic/InstallerLogic.h"
#include "splash/ISplash.h"
#include "splash/win/FileDialog.h"
#include "splash/win/WinSplash.h"

namespace Nolvar {

namespace {

// The window, started before the installer logic and shown before the logic is made: its first frame waits for
// nothing the logic makes or does (the download library and its threads, the statistics tracker, the web user id
// and configuration requests). The logic takes it over as its splash when it is made.
class EarlySplash {
public:
    EarlySplash() : m_splash(std::make_unique<WinSplash>(m_relay)) { m_splash->WaitUntilShown(); }
    EarlySplash(const EarlySplash&) = delete;
    EarlySplash& operator=(const EarlySplash&) = delete;

    std::unique_ptr<ISplash> TakeOver(ISplashEventObserver& logic) {
        m_relay.Attach(logic);
        return std::move(m_splash);
    }

private:
    SplashObserverRelay m_relay;  // outlives the window, also after the logic took it over
    std::unique_ptr<WinSplash> m_splash;
};

InstallerLogicParts WindowParts(EarlySplash& splash) {
    InstallerLogicParts parts;
    parts.attachSplash = [&splash](ISplashEventObserver& observer) { return splash.TakeOver(observer); };
    parts.selectFolder = [](int titleTextId, const ioPath& folder) {
        return ioPath(FileDialog::SelectFolder(titleTextId, std::filesystem::path(folder.wstring())).wstring());
    };
    return parts;
}

class WinApplication : public virtual IApplication {
public:
    WinApplication() : m_logic(WindowParts(m_splash)) {}
    std::int32_t Run() override { return m_logic.Run() ? 1 : 0; }

private:
    EarlySplash m_splash;  // made before the logic, and gone after it
    InstallerLogic m_logic;
};

} // namespace

std::unique_ptr<IApplication> CreateApplication() { return std::make_unique<WinApplication>(); }

} // namespace Nolvar
