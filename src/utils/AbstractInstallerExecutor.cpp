#include "utils/AbstractInstallerExecutor.h"

#include <exception>
#include <utility>

#include <glog/logging.h>

namespace Nolvar {

ExitState ExitStateFromExitCode(std::int32_t exitCode) {
    const bool isExitState = exitCode >= ExitStates::NotReported && exitCode <= ExitStates::UnnamedSuccess;
    return isExitState ? exitCode : ExitStates::UnknownError;
}

AbstractInstallerExecutor::AbstractInstallerExecutor(IInstallerExecutorObserver& observer, std::string name,
                                                     std::vector<std::string> arguments,
                                                     std::chrono::milliseconds waitLimit)
    : m_observer(observer), m_name(std::move(name)), m_arguments(std::move(arguments)), m_waitLimit(waitLimit) {}

AbstractInstallerExecutor::~AbstractInstallerExecutor() {
    {
        std::lock_guard lock(m_mutex);
        try {
            TerminateInstaller();
        } catch (const std::exception& e) {
            LOG(WARNING) << m_name << ": cannot terminate the installer: " << e.what();
        }
    }
    if (m_task.valid()) m_task.wait();
}

void AbstractInstallerExecutor::Start() {
    if (m_started) {
        LOG(WARNING) << m_name << ": installer already started";
        return;
    }
    m_started = true;
    std::unique_ptr<IInstallerProcess> process;
    try {
        process = CreateInstallerProcess(m_arguments);
    } catch (const std::exception& e) {
        LOG(INFO) << m_name << ": creating the installer process failed: " << e.what();
    }
    {
        std::lock_guard lock(m_mutex);
        m_process = std::move(process);
    }
    m_observer.OnInstallerStarted(m_name);
    m_task = std::async(std::launch::async, [this] { RunAndReport(); });
}

void AbstractInstallerExecutor::WaitForEnd() {
    if (m_task.valid()) m_task.wait();
}

void AbstractInstallerExecutor::RunAndReport() {
    try {
        // Only this thread and the destructor touch m_process after Start, and the destructor waits for this
        // thread before the process object goes; the handle itself is never released while waiting.
        if (!m_process) {
            LOG(INFO) << "Failed to start installer";
        } else {
            std::optional<std::int32_t> exitCode = m_process->WaitForExit(m_waitLimit);
            std::lock_guard lock(m_mutex);
            if (m_terminated) {
                LOG(INFO) << m_name << ": process interrupted";
            } else if (!exitCode && TerminateInstaller()) {
                LOG(INFO) << m_name << ": process interrupted by timeout";
            } else {
                if (!exitCode) exitCode = m_process->WaitForExit(std::chrono::milliseconds(0));
                if (exitCode) {
                    const ExitState state = ExitStateFromExitCode(*exitCode);
                    m_exitState.store(state);
                    LOG(INFO) << m_name << ": process finished with exit code = " << *exitCode
                              << ", exit state = " << state;
                }
            }
        }
    } catch (const std::exception& e) {
        LOG(WARNING) << m_name << ": waiting for the installer failed: " << e.what();
    }
    try {
        m_observer.OnInstallerFinished(m_name, m_exitState.load());
    } catch (const std::exception& e) {
        LOG(WARNING) << m_name << ": installer result not taken: " << e.what();
    }
}

bool AbstractInstallerExecutor::TerminateInstaller() {
    if (!m_process || m_terminated) return false;
    // A process that has ended meanwhile keeps its own exit code.
    if (m_process->WaitForExit(std::chrono::milliseconds(0))) return false;
    m_process->Terminate(kTerminatedInstallerExitCode);
    m_terminated = true;
    return true;
}

} // namespace Nolvar
