#include "installer/Application.h"

#include "logic/logic/InstallerLogic.h"
#include "splash/ISplash.h"
#include "splash/win/FileDialog.h"

namespace Nolvar {

namespace {

InstallerLogicParts WindowParts() {
    InstallerLogicParts parts;
    parts.createSplash = [](ISplashEventObserver& observer) { return CreateSplash(observer); };
    parts.selectFolder = [](int titleTextId, const ioPath& folder) {
        return ioPath(FileDialog::SelectFolder(titleTextId, std::filesystem::path(folder.wstring())).wstring());
    };
    return parts;
}

class WinApplication : public virtual IApplication {
public:
    WinApplication() : m_logic(WindowParts()) {}
    std::int32_t Run() override { return m_logic.Run() ? 1 : 0; }

private:
    InstallerLogic m_logic;
};

} // namespace

std::unique_ptr<IApplication> CreateApplication() { return std::make_unique<WinApplication>(); }

} // namespace Nolvar
