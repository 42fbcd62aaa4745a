#pragma once
// The platform-independent part of the installer launcher: waiting with a time limit, termination, reporting.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "utils/IInstallerExecutor.h"

namespace Nolvar {

// A started installer process. Owns its process handle alone; the handle stays open until the object goes,
// so waiting and terminating never meet a closed handle.
class IInstallerProcess {
public:
    virtual ~IInstallerProcess() = default;
    // The exit code when the process ends within `limit`; nothing when it still runs. Throws when waiting fails.
    virtual std::optional<std::int32_t> WaitForExit(std::chrono::milliseconds limit) = 0;
    // Ends the process with `exitCode` (returns at once when it has already ended). Throws when that fails.
    virtual void Terminate(std::uint32_t exitCode) = 0;
};

class AbstractInstallerExecutor : public IInstallerExecutor {
public:
    AbstractInstallerExecutor(IInstallerExecutorObserver& observer, std::string name, std::vector<std::string> arguments,
                              std::chrono::milliseconds waitLimit);
    ~AbstractInstallerExecutor() override;
    AbstractInstallerExecutor(const AbstractInstallerExecutor&) = delete;
    AbstractInstallerExecutor& operator=(const AbstractInstallerExecutor&) = delete;

    void Start() override;
    ExitState GetExitState() const override { return m_exitState.load(); }
    void WaitForEnd() override;

    const std::vector<std::string>& arguments() const { return m_arguments; }

protected:
    // Starts the installer with `arguments`; null when it cannot be started (already logged and reported).
    virtual std::unique_ptr<IInstallerProcess> CreateInstallerProcess(const std::vector<std::string>& arguments) = 0;

private:
    void RunAndReport();
    // Under m_mutex: ends the installer when it still runs; true when it was ended here.
    bool TerminateInstaller();

    std::atomic<ExitState> m_exitState{ExitStates::NotReported};
    IInstallerExecutorObserver& m_observer;
    const std::string m_name;
    const std::vector<std::string> m_arguments;
    const std::chrono::milliseconds m_waitLimit;
    std::mutex m_mutex;
    std::unique_ptr<IInstallerProcess> m_process;
    bool m_terminated = false;
    bool m_started = false;
    std::future<void> m_task;
};

} // namespace Nolvar
