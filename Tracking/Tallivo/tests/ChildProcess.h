#pragma once
// The tests' second process: TallivoTestHelper.exe from the folder of the running test program.
#include <windows.h>

#include <chrono>
#include <string>
#include <vector>

namespace Testing {

class ChildProcess {
public:
    // Starts TallivoTestHelper.exe with the arguments (each quoted); throws std::runtime_error on failure.
    explicit ChildProcess(const std::vector<std::wstring>& arguments);
    // Terminates the process when it still runs.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // The exit code, or -1 when it did not end in time.
    int wait(std::chrono::milliseconds timeout = std::chrono::seconds(60));
    void terminate();

private:
    PROCESS_INFORMATION m_process{};
};

std::wstring HelperPath();

} // namespace Testing
