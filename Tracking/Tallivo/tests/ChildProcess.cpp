#include "ChildProcess.h"

#include <stdexcept>

namespace Testing {

std::wstring HelperPath() {
    wchar_t buffer[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    std::wstring path(buffer, length);
    return path.substr(0, path.find_last_of(L"\\/") + 1) + L"TallivoTestHelper.exe";
}

ChildProcess::ChildProcess(const std::vector<std::wstring>& arguments) {
    std::wstring commandLine = L"\"" + HelperPath() + L"\"";
    for (const std::wstring& argument : arguments) commandLine += L" \"" + argument + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &m_process)) {
        throw std::runtime_error("CreateProcessW failed: " + std::to_string(GetLastError()));
    }
}

ChildProcess::~ChildProcess() {
    terminate();
    CloseHandle(m_process.hThread);
    CloseHandle(m_process.hProcess);
}

int ChildProcess::wait(std::chrono::milliseconds timeout) {
    if (WaitForSingleObject(m_process.hProcess, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(m_process.hProcess, &code);
    return static_cast<int>(code);
}

void ChildProcess::terminate() {
    if (WaitForSingleObject(m_process.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(m_process.hProcess, 9);
        WaitForSingleObject(m_process.hProcess, 10000);
    }
}

} // namespace Testing
