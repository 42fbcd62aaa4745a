#include "QorCrashHandler/CrashHandler.h"

#include <windows.h>
#include <dbghelp.h>
#include <shlobj.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <exception>
#include <fstream>
#include <memory>
#include <mutex>

#include <boost/filesystem/operations.hpp>
#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "QorCrashHandler/BreadcrumbRegistry.h"
#include "QorCrashHandler/SentryBreadCrumbsLogSink.h"
#include "QorPointer/UniqueHandle.h"
#include "QorString/Utf.h"

// The executable's entry for handled-exception reports coming from DLLs (see WriteTrackedException).
extern "C" __declspec(dllexport) void NolvarCrashHandlerTrackException(const char* name, const char* details);

namespace Nolvar::CrashHandler {
namespace {

struct Installed {
    ClientInfoCallback clientInfo;
    bool showSystemDialog = false;
    ioPath folder;
    LPTOP_LEVEL_EXCEPTION_FILTER previousFilter = nullptr;
    std::terminate_handler previousTerminate = nullptr;
};

std::mutex g_mutex; // guards g_installed and g_sinks outside a crash
std::shared_ptr<Installed> g_installed;
std::vector<SentryBreadCrumbsLogSink*> g_sinks;
std::atomic<bool> g_crashing{false};

std::shared_ptr<Installed> Current() {
    std::lock_guard lock(g_mutex);
    return g_installed;
}

std::string UtcStamp() {
    SYSTEMTIME now{};
    GetSystemTime(&now);
    return fmt::format("{:04}{:02}{:02}T{:02}{:02}{:02}.{:03}Z", now.wYear, now.wMonth, now.wDay, now.wHour,
                       now.wMinute, now.wSecond, now.wMilliseconds);
}

void WriteText(const ioPath& file, const std::string& text) {
    std::ofstream out(std::filesystem::path(file.wstring()), std::ios::binary | std::ios::trunc);
    out << text;
}

nlohmann::json ClientInfoJson(const Installed& installed) {
    nlohmann::json client = nlohmann::json::object();
    if (!installed.clientInfo) return client;
    try {
        const ClientInfo info = installed.clientInfo();
        client["user_id"] = info.userId;
    } catch (...) {
        client["error"] = "the client information callback failed";
    }
    return client;
}

std::string JoinLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) text += line + "\n";
    return text;
}

// Writes one report folder; returns it (empty on failure).
ioPath WriteReport(const Installed& installed, EXCEPTION_POINTERS* exception, const nlohmann::json& what) {
    boost::system::error_code error;
    const ioPath folder = installed.folder / (UtcStamp() + "-" + std::to_string(GetCurrentProcessId()));
    boost::filesystem::create_directories(folder, error);
    if (error) return {};

    bool dumped = false;
    if (const Core::UniqueKernelHandle dump(CreateFileW((folder / L"crash.dmp").c_str(), GENERIC_WRITE, 0, nullptr,
                                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        dump) {
        MINIDUMP_EXCEPTION_INFORMATION info{GetCurrentThreadId(), exception, FALSE};
        dumped = MiniDumpWriteDump(GetCurrentProcess(), GetCurrentProcessId(), dump.get(), MiniDumpNormal,
                                   exception ? &info : nullptr, nullptr, nullptr) != FALSE;
    }

    nlohmann::json report = what;
    report["process_id"] = GetCurrentProcessId();
    report["time"] = UtcStamp();
    report["minidump"] = dumped;
    report["client"] = ClientInfoJson(installed);
    WriteText(folder / L"report.json", report.dump(2));
    WriteText(folder / L"breadcrumbs.log", JoinLines(Detail::CollectBreadcrumbs()));
    return folder;
}

LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* exception) {
    const auto installed = g_installed; // no lock: the crashing thread may hold it
    if (!installed || g_crashing.exchange(true)) return EXCEPTION_CONTINUE_SEARCH;
    nlohmann::json what;
    what["kind"] = "unhandled exception";
    if (exception && exception->ExceptionRecord) {
        what["exception_code"] = fmt::format("0x{:08x}", static_cast<unsigned>(exception->ExceptionRecord->ExceptionCode));
        what["address"] = fmt::format("{}", exception->ExceptionRecord->ExceptionAddress);
    }
    WriteReport(*installed, exception, what);
    if (installed->showSystemDialog) {
        if (installed->previousFilter) return installed->previousFilter(exception);
        return EXCEPTION_CONTINUE_SEARCH;
    }
    return EXCEPTION_EXECUTE_HANDLER;
}

void OnTerminate() {
    const auto installed = g_installed;
    if (installed && !g_crashing.exchange(true)) {
        nlohmann::json what;
        what["kind"] = "terminate";
        if (auto current = std::current_exception()) {
            try {
                std::rethrow_exception(current);
            } catch (const std::exception& error) {
                what["exception"] = error.what();
            } catch (...) {
                what["exception"] = "unknown";
            }
        }
        WriteReport(*installed, nullptr, what);
        if (!installed->showSystemDialog) TerminateProcess(GetCurrentProcess(), 3);
    }
    std::abort();
}

} // namespace

ioPath DefaultReportFolder() {
    PWSTR appData = nullptr;
    ioPath folder;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &appData))) folder = appData;
    CoTaskMemFree(appData);
    if (folder.empty()) folder = boost::filesystem::temp_directory_path();
    std::wstring self(32768, L'\0');
    self.resize(GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size())));
    return folder / L"CrashReports" / ioPath(self).stem();
}

namespace Detail {

void RegisterBreadcrumbSource(SentryBreadCrumbsLogSink* sink) {
    std::lock_guard lock(g_mutex);
    g_sinks.push_back(sink);
}

void UnregisterBreadcrumbSource(SentryBreadCrumbsLogSink* sink) {
    std::lock_guard lock(g_mutex);
    g_sinks.erase(std::remove(g_sinks.begin(), g_sinks.end(), sink), g_sinks.end());
}

std::vector<std::string> CollectBreadcrumbs() {
    std::unique_lock lock(g_mutex, std::try_to_lock);
    if (!lock) return {};
    std::vector<std::string> lines;
    for (const auto* sink : g_sinks) {
        auto own = sink->breadcrumbs(false);
        lines.insert(lines.end(), own.begin(), own.end());
    }
    return lines;
}

void WriteTrackedException(const std::string& name, const std::string& details) {
    const auto installed = Current();
    if (!installed) {
        // The handler lives in the executable's copy of this library; a DLL's copy hands the report over to it.
        using Forward = void (*)(const char*, const char*);
        const auto forward = reinterpret_cast<Forward>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(nullptr), "NolvarCrashHandlerTrackException")));
        if (forward && forward != &NolvarCrashHandlerTrackException) forward(name.c_str(), details.c_str());
        return;
    }
    nlohmann::json what;
    what["kind"] = "handled exception";
    what["name"] = name;
    what["details"] = details;
    boost::system::error_code error;
    const ioPath folder = installed->folder / "handled";
    boost::filesystem::create_directories(folder, error);
    if (error) return;
    what["client"] = ClientInfoJson(*installed);
    what["time"] = UtcStamp();
    what["breadcrumbs"] = CollectBreadcrumbs();
    WriteText(folder / (UtcStamp() + "-" + std::to_string(GetCurrentProcessId()) + "-" +
                        std::to_string(GetCurrentThreadId()) + ".json"),
              what.dump(2, ' ', false, nlohmann::json::error_handler_t::replace));
}

} // namespace Detail
} // namespace Nolvar::CrashHandler

namespace Nolvar::Core {

void SetupCommonCrashHandler(CrashHandler::ClientInfoCallback clientInfo, bool showSystemDialog,
                             const ioPath& reportFolder) {
    using namespace CrashHandler;
    auto installed = std::make_shared<Installed>();
    installed->clientInfo = std::move(clientInfo);
    installed->showSystemDialog = showSystemDialog;
    installed->folder = reportFolder;
    std::lock_guard lock(g_mutex);
    if (g_installed) {
        installed->previousFilter = g_installed->previousFilter;
        installed->previousTerminate = g_installed->previousTerminate;
        g_installed = installed;
        return;
    }
    installed->previousFilter = SetUnhandledExceptionFilter(&OnUnhandledException);
    installed->previousTerminate = std::set_terminate(&OnTerminate);
    g_installed = installed;
}

void RemoveCommonCrashHandler() {
    using namespace CrashHandler;
    std::lock_guard lock(g_mutex);
    if (!g_installed) return;
    SetUnhandledExceptionFilter(g_installed->previousFilter);
    std::set_terminate(g_installed->previousTerminate);
    g_installed.reset();
}

} // namespace Nolvar::Core

extern "C" __declspec(dllexport) void NolvarCrashHandlerTrackException(const char* name, const char* details) {
    const auto installed = Nolvar::CrashHandler::Current();
    if (installed) Nolvar::CrashHandler::Detail::WriteTrackedException(name ? name : "", details ? details : "");
}
