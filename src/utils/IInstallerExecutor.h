#pragma once
// Runs one downloaded product installer and reports how it ended.
#include <chrono>
#include <cstdint>
#include <string>

#include "utils/ExitState.h"

namespace Nolvar {

// How long an installer may run before it is terminated.
inline constexpr std::chrono::milliseconds INSTALLER_WAIT_LIMIT = std::chrono::minutes(10);
// The exit code given to an installer that is terminated.
inline constexpr std::uint32_t kTerminatedInstallerExitCode = 1;

class IInstallerExecutorObserver {
public:
    virtual ~IInstallerExecutorObserver() = default;
    // On the thread that called Start, after the process creation attempt (also when it failed).
    virtual void OnInstallerStarted(const std::string& name) = 0;
    // Once per start, on the launcher's own thread: the exit state, or -1 after a time-out, an interruption or a
    // failed start.
    virtual void OnInstallerFinished(const std::string& name, ExitState exitState) = 0;
};

class IInstallerExecutor {
public:
    // Terminates a still running installer and returns once the launcher's thread has ended.
    virtual ~IInstallerExecutor() = default;
    // Starts the installer and returns; the outcome goes to the observer. Only the first call starts anything.
    virtual void Start() = 0;
    // The exit state of the finished run; NotReported until a run has ended with an exit code.
    virtual ExitState GetExitState() const = 0;
    // Returns once a started run has ended by itself (or by the time limit) and has been reported; at once when
    // nothing was started. Never terminates the installer.
    virtual void WaitForEnd() = 0;
};

// An exit code from -1 to 9 is the exit state itself; any other code gives 1.
ExitState ExitStateFromExitCode(std::int32_t exitCode);

} // namespace Nolvar
