#include "testing/ChildProcess.h"

#include <stdexcept>

namespace Testing {

std::wstring SelfPath() {
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return path;
}

std::wstring BesideSelf(const std::wstring& fileName) {
    const std::wstring self = SelfPath();
    return self.substr(0, self.find_last_of(L"\\/") + 1) + fileName;
}

ChildProcess::ChildProcess(const std::wstring& program, const std::vector<std::wstring>& arguments,
                           Lifetime lifetime, HANDLE standardOutput) {
    std::wstring commandLine = L"\"" + program + L"\"";
    for (const std::wstring& argument : arguments) {
        commandLine += L" \"";
        for (wchar_t c : argument) {
            if (c == L'"') commandLine += L'\\';
            commandLine += c;
        }
        commandLine += L"\"";
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    DWORD flags = lifetime == Lifetime::EndsWithThisProcess ? CREATE_SUSPENDED : 0;
    if (standardOutput) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = standardOutput;
        startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        flags |= CREATE_NO_WINDOW;
    }
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, standardOutput ? TRUE : FALSE, flags, nullptr,
                        nullptr, &startup, &process)) {
        const DWORD error = GetLastError();
        throw std::runtime_error("CreateProcessW failed: " + std::to_string(error));
    }
    m_process.reset(process.hProcess);
    Nolvar::Core::UniqueKernelHandle thread(process.hThread);
    m_id = process.dwProcessId;
    if (lifetime == Lifetime::EndsWithThisProcess) {
        // The job goes when the last handle to it does, that is with this process, and takes the child along.
        m_job.reset(CreateJobObjectW(nullptr, nullptr));
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        if (m_job) {
            SetInformationJobObject(m_job.get(), JobObjectExtendedLimitInformation, &limits, sizeof(limits));
            AssignProcessToJobObject(m_job.get(), m_process.get());
        }
        ResumeThread(thread.get());
    }
}

ChildProcess::~ChildProcess() {
    if (m_process) terminate();
}

int ChildProcess::wait(std::chrono::milliseconds timeout) {
    if (WaitForSingleObject(m_process.get(), static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(m_process.get(), &code);
    return static_cast<int>(code);
}

void ChildProcess::terminate() {
    if (running()) {
        TerminateProcess(m_process.get(), 9);
        WaitForSingleObject(m_process.get(), 10000);
    }
}

void ChildProcess::terminateAll() {
    if (!m_job) return terminate();
    TerminateJobObject(m_job.get(), 0);
    for (int i = 0; i < 100; ++i) {
        JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info{};
        if (!QueryInformationJobObject(m_job.get(), JobObjectBasicAccountingInformation, &info, sizeof(info),
                                       nullptr) ||
            info.ActiveProcesses == 0)
            break;
        Sleep(100);
    }
    m_job.reset();
}

bool ChildProcess::running() const { return m_process && WaitForSingleObject(m_process.get(), 0) == WAIT_TIMEOUT; }

ChildProcess StartOwnTest(const std::string& testName, const wchar_t* variable, const std::wstring& value) {
    SetEnvironmentVariableW(variable, value.c_str());
    struct Unset {
        const wchar_t* name;
        ~Unset() { SetEnvironmentVariableW(name, nullptr); }
    } unset{variable};
    const std::wstring filter(testName.begin(), testName.end());
    return ChildProcess(SelfPath(), {L"--gtest_filter=" + filter, L"--gtest_also_run_disabled_tests"});
}

} // namespace Testing
