// Process entry of installer.exe: settings, working folder, logging, signature tag, crash handling, the run, and
// the removal of working folders at exit.
#include <windows.h>

#include <memory>
#include <string>

#include <glog/logging.h>

#include "App/Fetchwell/ModuleInfo.h"
#include "QorCrashHandler/CrashHandler.h"
#include "QorCrashHandler/SentryBreadCrumbsLogSink.h"
#include "QorFilesystem/Path.h"
#include "QorOS/EntryWrapper.h"
#include "QorOS/SignatureTag.h"
#include "Tracking/Tallivo/ModuleInfo.h"
#include "installer/Application.h"
#include "installer/SignatureTagSettings.h"
#include "utils/LogFolder.h"
#include "utils/ProductInfo.h"
#include "utils/Settings.h"
#include "utils/SettingsInit.h"
#include "utils/WorkingFolder.h"

namespace {

using namespace Nolvar;

CrashHandler::ClientInfo ClientInfoCallback() {
    const std::any id = Settings::Get(Settings::ID::HardwareId);
    const auto* text = std::any_cast<std::string>(&id);
    return {text ? *text : std::string()};
}

int main(int argc, char** argv) {
    Settings::Init(argc, argv);
    const LogFolderChoice logFolder = ChooseLogFolder(Settings::GetTextOption(Settings::ID::LogPath), GetWorkingFolder());
    FLAGS_log_dir = Core::Utf8FromPath(logFolder.folder);
    static const std::string programName = Product::LogProgramName();
    google::InitGoogleLogging(programName.c_str());
    // A GUI program's stderr goes nowhere: the first log line says where the log is instead.
    if (!logFolder.fallbackNote.empty()) LOG(WARNING) << logFolder.fallbackNote;
    Settings::WarnAboutMalformedOptions();

    ApplySignatureTag(Core::ReadSignatureTag(Settings::GetTextOption(Settings::ID::DistribName).value_or("")));

    Core::SetupCommonCrashHandler(&ClientInfoCallback, false);
    int exitCode = 0;
    {
        CrashHandler::SentryBreadCrumbsLogSink breadcrumbs({0, 1, 2, 3});
        try {
            const std::unique_ptr<IApplication> application = CreateApplication();
            // The two libraries load with the logic, once the window shows its first frame.
            LOG(INFO) << "Fetchwell " << App::FetchwellModuleVersion() << ", Tallivo "
                      << Tracking::TallivoModuleVersion();
            exitCode = application->Run();
        } catch (const std::exception& e) {
            LOG(ERROR) << "The installer could not run: " << e.what();
            exitCode = 1;
        }
    }
    Core::RemoveCommonCrashHandler();
    google::ShutdownGoogleLogging();

    if (!Settings::GetFlagOption(Settings::ID::Debug)) RemoveOldWorkingFolders();
    return exitCode;
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return Nolvar::Core::EntryWrapper(&main); }
