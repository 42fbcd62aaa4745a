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

std::mutex g_mutex; // guards g_installed, g_reporter and g_sinks outside a crash
std::shared_ptr<Installed> g_installed;
std::vector<SentryBreadCrumbsLogSink*> g_sinks;

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

// What a crashing thread hands over for its report.
struct Crash {
    enum class Kind { UnhandledException, Terminate };
    Kind kind = Kind::UnhandledException;
    std::shared_ptr<Installed> installed;
    EXCEPTION_POINTERS* exception = nullptr;
    DWORD threadId = 0;
    std::string exceptionText;  // of a terminate
};

nlohmann::json Describe(const Crash& crash) {
    nlohmann::json what;
    if (crash.kind == Crash::Kind::Terminate) {
        what["kind"] = "terminate";
        if (!crash.exceptionText.empty()) what["exception"] = crash.exceptionText;
        return what;
    }
    what["kind"] = "unhandled exception";
    if (crash.exception && crash.exception->ExceptionRecord) {
        what["exception_code"] =
            fmt::format("0x{:08x}", static_cast<unsigned>(crash.exception->ExceptionRecord->ExceptionCode));
        what["address"] = fmt::format("{}", crash.exception->ExceptionRecord->ExceptionAddress);
    }
    return what;
}

// Writes one report folder; returns it (empty on failure).
ioPath WriteReport(const Crash& crash) {
    const Installed& installed = *crash.installed;
    boost::system::error_code error;
    const ioPath folder = installed.folder / (UtcStamp() + "-" + std::to_string(GetCurrentProcessId()));
    boost::filesystem::create_directories(folder, error);
    if (error) return {};

    bool dumped = false;
    if (const Core::UniqueKernelHandle dump(CreateFileW((folder / L"crash.dmp").c_str(), GENERIC_WRITE, 0, nullptr,
                                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        dump) {
        MINIDUMP_EXCEPTION_INFORMATION info{crash.threadId, crash.exception, FALSE};
        dumped = MiniDumpWriteDump(GetCurrentProcess(), GetCurrentProcessId(), dump.get(), MiniDumpNormal,
                                   crash.exception ? &info : nullptr, nullptr, nullptr) != FALSE;
    }

    nlohmann::json report = Describe(crash);
    report["process_id"] = GetCurrentProcessId();
    report["thread_id"] = crash.threadId;
    report["time"] = UtcStamp();
    report["minidump"] = dumped;
    report["client"] = ClientInfoJson(installed);
    WriteText(folder / L"report.json", report.dump(2, ' ', false, nlohmann::json::error_handler_t::replace));
    WriteText(folder / L"breadcrumbs.log", JoinLines(Detail::CollectBreadcrumbs()));
    return folder;
}

// Writes the crash report on a thread of its own, started with the handler: the crashed thread may have no stack
// left (a stack overflow). Only the first crash of the process is reported; later crashing threads wait until
// that report is complete.
class CrashReporter {
public:
    enum class Turn { First, Later, Again };

    CrashReporter()
        : m_request(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
          m_done(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
          m_quit(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
        if (m_request && m_done && m_quit)
            m_thread.reset(CreateThread(nullptr, kStackSize, &CrashReporter::Run, this, 0, &m_threadId));
    }
    ~CrashReporter() {
        if (m_quit) SetEvent(m_quit.get());
        if (m_thread) WaitForSingleObject(m_thread.get(), kWriteLimit);
    }
    CrashReporter(const CrashReporter&) = delete;
    CrashReporter& operator=(const CrashReporter&) = delete;

    // On a crashing thread: whether it is the first to crash, a later one, or the first crashing again.
    Turn claim() {
        DWORD owner = 0;
        const DWORD self = GetCurrentThreadId();
        if (m_owner.compare_exchange_strong(owner, self)) return Turn::First;
        return owner == self ? Turn::Again : Turn::Later;
    }

    // The first crashing thread: has its report written and waits for it.
    void report(Crash crash) {
        m_crash = std::move(crash);
        if (!m_thread || GetCurrentThreadId() == m_threadId) {
            // No writer thread (or it crashed itself): write here, with what stack is left.
            WriteReport(m_crash);
            SetEvent(m_done.get());
            return;
        }
        SetEvent(m_request.get());
        WaitForSingleObject(m_done.get(), kWriteLimit);
    }

    // A later crashing thread: waits until the first report is complete.
    void waitForReport() { WaitForSingleObject(m_done.get(), INFINITE); }

private:
    // Writing a minidump under a loaded system can take long; a report still unfinished then is given up.
    static constexpr DWORD kWriteLimit = 120'000;
    static constexpr SIZE_T kStackSize = 1024 * 1024;

    static DWORD WINAPI Run(void* context) {
        auto* self = static_cast<CrashReporter*>(context);
        const HANDLE wakers[] = {self->m_request.get(), self->m_quit.get()};
        if (WaitForMultipleObjects(2, wakers, FALSE, INFINITE) != WAIT_OBJECT_0) return 0;
        try {
            WriteReport(self->m_crash);
        } catch (...) {
        }
        SetEvent(self->m_done.get());
        return 0;
    }

    Core::UniqueKernelHandle m_request;
    Core::UniqueKernelHandle m_done;
    Core::UniqueKernelHandle m_quit;
    std::atomic<DWORD> m_owner{0};
    Crash m_crash;
    DWORD m_threadId = 0;
    Core::UniqueKernelHandle m_thread;  // last: its thread uses the members above
};

std::unique_ptr<CrashReporter> g_reporter;

LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* exception) {
    // No locks and little stack here: the crashing thread may hold a lock or have overflowed its stack.
    CrashReporter* reporter = g_reporter.get();
    if (!g_installed || !reporter) return EXCEPTION_CONTINUE_SEARCH;
    switch (reporter->claim()) {
    case CrashReporter::Turn::Again:
        return EXCEPTION_CONTINUE_SEARCH;
    case CrashReporter::Turn::Later:
        reporter->waitForReport();
        return EXCEPTION_CONTINUE_SEARCH;
    case CrashReporter::Turn::First:
        break;
    }
    const auto installed = g_installed;
    Crash crash;
    crash.installed = installed;
    crash.exception = exception;
    crash.threadId = GetCurrentThreadId();
    reporter->report(std::move(crash));
    if (installed->showSystemDialog) {
        if (installed->previousFilter) return installed->previousFilter(exception);
        return EXCEPTION_CONTINUE_SEARCH;
    }
    // Ends at once with the exception's code: the system's own ending of a thread without stack may report
    // success.
    if (exception && exception->ExceptionRecord)
        TerminateProcess(GetCurrentProcess(), exception->ExceptionRecord->ExceptionCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

void OnTerminate() {
    const auto installed = g_installed;
    CrashReporter* reporter = g_reporter.get();
    if (installed && reporter) {
        switch (reporter->claim()) {
        case CrashReporter::Turn::Later:
            reporter->waitForReport();
            break;
        case CrashReporter::Turn::First: {
            Crash crash;
            crash.kind = Crash::Kind::Terminate;
            crash.installed = installed;
            crash.threadId = GetCurrentThreadId();
            if (auto current = std::current_exception()) {
                try {
                    std::rethrow_exception(current);
                } catch (const std::exception& error) {
                    crash.exceptionText = error.what();
                } catch (...) {
                    crash.exceptionText = "unknown";
                }
            }
            reporter->report(std::move(crash));
            if (!installed->showSystemDialog) TerminateProcess(GetCurrentProcess(), 3);
            break;
        }
        case CrashReporter::Turn::Again:
            break;
        }
    }
    std::abort();
}

} // namespace

ioPath DefaultReportFolder() {
    Core::UniqueCoTaskPtr<PWSTR> appData;
    ioPath folder;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, appData.put()))) folder = appData.get();
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
    g_reporter = std::make_unique<CrashReporter>();
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
    g_reporter.reset();
}

} // namespace Nolvar::Core

extern "C" __declspec(dllexport) void NolvarCrashHandlerTrackException(const char* name, const char* details) {
    const auto installed = Nolvar::CrashHandler::Current();
    if (installed) Nolvar::CrashHandler::Detail::WriteTrackedException(name ? name : "", details ? details : "");
}
