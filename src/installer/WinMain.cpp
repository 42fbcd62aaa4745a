// Process entry of installer.exe.
#include <windows.h>
#include <shellapi.h>

#include <memory>
#include <string>

#include <glog/logging.h>

#include "App/Fetchwell/ModuleInfo.h"
#include "installer/ProductInfo.h"
#include "QorString/Utf.h"
#include "Tracking/Tallivo/ModuleInfo.h"

namespace {

std::string LogFolderFromArguments() {
    int count = 0;
    std::unique_ptr<LPWSTR, decltype(&LocalFree)> args(CommandLineToArgvW(GetCommandLineW(), &count), &LocalFree);
    const std::wstring prefix = L"--log-path=";
    for (int i = 1; args && i < count; ++i) {
        std::wstring arg = args.get()[i];
        if (arg.rfind(prefix, 0) == 0) return Nolvar::Core::Utf8FromWstring(arg.substr(prefix.size()));
    }
    return {};
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const std::string logFolder = LogFolderFromArguments();
    if (!logFolder.empty()) FLAGS_log_dir = logFolder;
    static const std::string programName = Nolvar::Product::LogProgramName();
    google::InitGoogleLogging(programName.c_str());
    LOG(INFO) << "Installer started";
    LOG(INFO) << "Fetchwell " << Nolvar::App::FetchwellModuleVersion() << ", Tallivo "
              << Nolvar::Tracking::TallivoModuleVersion();
    google::ShutdownGoogleLogging();
    return 0;
}
