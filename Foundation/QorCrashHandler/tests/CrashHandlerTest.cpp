#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <glog/logging.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "QorCrashHandler/CrashHandler.h"
#include "QorCrashHandler/SentryBreadCrumbsLogSink.h"
#include "QorCrashHandler/TrackException.h"
#include "QorString/Utf.h"
#include "testing/ChildProcess.h"
#include "testing/TempFolder.h"

using namespace Nolvar;

namespace {

constexpr wchar_t kChildVariable[] = L"NETSETTER_CRASH_TEST_CHILD";

// Runs this test program as a child that crashes the way `mode` says, with reports going to `folder`.
DWORD RunCrashingChild(const std::string& mode, const std::filesystem::path& folder) {
    Testing::ChildProcess child = Testing::StartOwnTest("CrashChild.DISABLED_Run", kChildVariable,
                                                        Core::WstringFromUtf8(mode) + L"|" + folder.wstring());
    // A crashing child under Wine takes tens of seconds with a display, several times that on a busy machine.
    return static_cast<DWORD>(child.wait(std::chrono::seconds(240)));
}

std::filesystem::path OnlyReport(const std::filesystem::path& folder) {
    std::filesystem::path found;
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.is_directory() && entry.path().filename() != "handled") {
            found = entry.path();
            ++count;
        }
    }
    return count == 1 ? found : std::filesystem::path();
}

volatile int g_depthLimit = -1;

// Set by the client information callback, which the handler calls while it writes the first report.
HANDLE g_reportUnderway = nullptr;

// Recurses until the stack is gone.
__attribute__((noinline)) int Deep(int depth) {
    volatile char pad[4096];
    pad[0] = static_cast<char>(depth);
    if (depth == g_depthLimit) return pad[0];
    return Deep(depth + 1) + pad[0];
}

// The report folder's files are all there and whole.
void ExpectCompleteReport(const std::filesystem::path& report, const std::string& exceptionCode) {
    const std::string dump = Testing::ReadWholeFile(report / "crash.dmp");
    ASSERT_GT(dump.size(), 4u);
    EXPECT_EQ(dump.substr(0, 4), "MDMP");
    const auto json = nlohmann::json::parse(Testing::ReadWholeFile(report / "report.json"));
    EXPECT_EQ(json["exception_code"], exceptionCode);
    EXPECT_EQ(json["minidump"], true);
    EXPECT_EQ(json["client"]["user_id"], "machine-1234");
    EXPECT_NE(Testing::ReadWholeFile(report / "breadcrumbs.log").find("breadcrumb before the crash"),
              std::string::npos);
}

} // namespace

TEST(CrashChild, DISABLED_Run) {
    const std::wstring value = [] {
        std::wstring buffer(32768, L'\0');
        buffer.resize(GetEnvironmentVariableW(kChildVariable, buffer.data(), static_cast<DWORD>(buffer.size())));
        return buffer;
    }();
    const auto bar = value.find(L'|');
    ASSERT_NE(bar, std::wstring::npos);
    const std::wstring mode = value.substr(0, bar);
    if (mode == L"two") g_reportUnderway = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    Core::SetupCommonCrashHandler(
        [] {
            if (g_reportUnderway) {
                // The report is half written: the later crashing threads go now, and have time to.
                SetEvent(g_reportUnderway);
                Sleep(500);
            }
            return CrashHandler::ClientInfo{"machine-1234"};
        },
        false, ioPath(value.substr(bar + 1)));
    CrashHandler::SentryBreadCrumbsLogSink sink({0, 1, 2, 3});
    LOG(INFO) << "breadcrumb before the crash";
    LOG(WARNING) << "Пользователь warning";
    if (mode == L"access") {
        volatile int* nowhere = nullptr;
        *nowhere = 1;
    } else if (mode == L"overflow") {
        Deep(0);
    } else if (mode == L"two") {
        // Three more threads crash while the first one's report is being written.
        std::vector<std::thread> later;
        for (int i = 0; i < 3; ++i)
            later.emplace_back([] {
                WaitForSingleObject(g_reportUnderway, INFINITE);
                volatile int* nowhere = nullptr;
                *nowhere = 2;
            });
        volatile int* nowhere = nullptr;
        *nowhere = 1;
        for (auto& thread : later) thread.join();
    } else if (mode == L"throw") {
        // Outside the test framework, which would catch it.
        std::thread([] { throw std::logic_error("nobody catches this"); }).join();
    }
}

TEST(CrashHandler, AnAccessViolationWritesDumpClientInfoAndBreadcrumbs) {
    Testing::TempFolder folder(L"netsetter-crash-");
    const DWORD code = RunCrashingChild("access", folder.path());
    EXPECT_EQ(code, static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));
    const auto report = OnlyReport(folder.path());
    ASSERT_FALSE(report.empty());
    const std::string dump = Testing::ReadWholeFile(report / "crash.dmp");
    ASSERT_GT(dump.size(), 4u);
    EXPECT_EQ(dump.substr(0, 4), "MDMP");
    const auto json = nlohmann::json::parse(Testing::ReadWholeFile(report / "report.json"));
    EXPECT_EQ(json["kind"], "unhandled exception");
    EXPECT_EQ(json["exception_code"], "0xc0000005");
    EXPECT_EQ(json["client"]["user_id"], "machine-1234");
    const std::string breadcrumbs = Testing::ReadWholeFile(report / "breadcrumbs.log");
    EXPECT_NE(breadcrumbs.find("breadcrumb before the crash"), std::string::npos) << breadcrumbs;
    EXPECT_NE(breadcrumbs.find("Пользователь warning"), std::string::npos) << breadcrumbs;
    EXPECT_LT(breadcrumbs.find("breadcrumb before the crash"), breadcrumbs.find("Пользователь warning"));
}

TEST(CrashHandler, ASecondCrashingThreadWaitsForTheFirstReport) {
    Testing::TempFolder folder(L"netsetter-crash-");
    const DWORD code = RunCrashingChild("two", folder.path());
    EXPECT_EQ(code, static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));
    const auto report = OnlyReport(folder.path());
    ASSERT_FALSE(report.empty());
    ExpectCompleteReport(report, "0xc0000005");
}

TEST(CrashHandler, AStackOverflowIsReported) {
    Testing::TempFolder folder(L"netsetter-crash-");
    const DWORD code = RunCrashingChild("overflow", folder.path());
    EXPECT_EQ(code, static_cast<DWORD>(EXCEPTION_STACK_OVERFLOW));
    const auto report = OnlyReport(folder.path());
    ASSERT_FALSE(report.empty());
    ExpectCompleteReport(report, "0xc00000fd");
}

TEST(CrashHandler, AnUncaughtCppExceptionIsReportedToo) {
    Testing::TempFolder folder(L"netsetter-crash-");
    const DWORD code = RunCrashingChild("throw", folder.path());
    EXPECT_NE(code, 0u);
    const auto report = OnlyReport(folder.path());
    ASSERT_FALSE(report.empty());
    const auto json = nlohmann::json::parse(Testing::ReadWholeFile(report / "report.json"));
    EXPECT_EQ(json["kind"], "terminate");
    EXPECT_EQ(json["exception"], "nobody catches this");
    EXPECT_EQ(json["client"]["user_id"], "machine-1234");
}

TEST(CrashHandler, SinkKeepsTheLastLinesOfItsSeverities) {
    CrashHandler::SentryBreadCrumbsLogSink warnings({1, 2});
    LOG(INFO) << "not kept";
    LOG(WARNING) << "kept warning";
    for (int i = 0; i < 150; ++i) LOG(ERROR) << "error " << i;
    const auto lines = warnings.breadcrumbs();
    ASSERT_EQ(lines.size(), CrashHandler::SentryBreadCrumbsLogSink::kMaxBreadcrumbs);
    EXPECT_NE(lines.front().find("error 50"), std::string::npos);
    EXPECT_NE(lines.back().find("error 149"), std::string::npos);
    EXPECT_EQ(lines.back().front(), 'E');
}

TEST(CrashHandler, TrackedExceptionsAreKeptWhileInstalled) {
    Testing::TempFolder folder(L"netsetter-crash-");
    int asked = 0;
    Core::SetupCommonCrashHandler([&] { ++asked; return CrashHandler::ClientInfo{"user-7"}; }, false,
                                  ioPath(folder.path().wstring()));
    Core::TrackException("TallivoException", "std::runtime_error");
    Core::RemoveCommonCrashHandler();
    Core::TrackException("AfterRemoval", "nothing written");
    EXPECT_EQ(asked, 1);
    int reports = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder.path() / "handled")) {
        const auto json = nlohmann::json::parse(Testing::ReadWholeFile(entry.path()));
        EXPECT_EQ(json["name"], "TallivoException");
        EXPECT_EQ(json["client"]["user_id"], "user-7");
        ++reports;
    }
    EXPECT_EQ(reports, 1);
}

TEST(CrashHandler, TheExecutableTakesHandledExceptionReportsFromItsDlls) {
    using Forward = void (*)(const char*, const char*);
    const auto forward = reinterpret_cast<Forward>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(nullptr), "NolvarCrashHandlerTrackException")));
    ASSERT_NE(forward, nullptr);
    forward("WithoutHandler", "ignored"); // nothing installed: nothing written, no crash
    Testing::TempFolder folder(L"netsetter-crash-");
    Core::SetupCommonCrashHandler([] { return CrashHandler::ClientInfo{"user-9"}; }, false,
                                  ioPath(folder.path().wstring()));
    forward("FetchwellException", "from a DLL");
    Core::RemoveCommonCrashHandler();
    int reports = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder.path() / "handled")) {
        EXPECT_EQ(nlohmann::json::parse(Testing::ReadWholeFile(entry.path()))["name"], "FetchwellException");
        ++reports;
    }
    EXPECT_EQ(reports, 1);
}
