#pragma once
// Second processes of the tests: another program of the build, or this test program running one of its own tests.
#include <windows.h>

#include <chrono>
#include <string>
#include <vector>

#include "QorPointer/UniqueHandle.h"

namespace Testing {

// The path of the running test program.
std::wstring SelfPath();
// The path of `fileName` in the folder of the running test program.
std::wstring BesideSelf(const std::wstring& fileName);

class ChildProcess {
public:
    enum class Lifetime {
        Own,                  // the process may outlive the test program
        EndsWithThisProcess,  // ended with the test program, also when that is ended from outside
    };

    // Starts `program` with `arguments`, each quoted (quotes inside escaped); throws std::runtime_error when it
    // cannot start. With `standardOutput` (an inheritable handle) the child writes there and gets no console window.
    ChildProcess(const std::wstring& program, const std::vector<std::wstring>& arguments,
                 Lifetime lifetime = Lifetime::Own, HANDLE standardOutput = nullptr);
    // Terminates the process when it still runs.
    ~ChildProcess();
    ChildProcess(ChildProcess&&) noexcept = default;
    ChildProcess& operator=(ChildProcess&&) = delete;

    // The exit code, or -1 when it did not end in time.
    int wait(std::chrono::milliseconds timeout = std::chrono::seconds(60));
    // Ends the process when it still runs and waits for it to be gone.
    void terminate();
    // Ends the process and, with Lifetime::EndsWithThisProcess, every process it started; waits for them to be gone.
    void terminateAll();
    bool running() const;
    DWORD id() const { return m_id; }

private:
    Nolvar::Core::UniqueKernelHandle m_job;
    Nolvar::Core::UniqueKernelHandle m_process;
    DWORD m_id = 0;
};

// This test program again, running only the test `testName` (a DISABLED_ one: it never runs on its own), with the
// environment variable `variable` set to `value` for it.
ChildProcess StartOwnTest(const std::string& testName, const wchar_t* variable, const std::wstring& value);

} // namespace Testing
