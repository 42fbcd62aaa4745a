#include "utils/win/InstallerExecutor.h"

#include <windows.h>

#include <algorithm>
#include <system_error>
#include <typeinfo>
#include <utility>

#include <boost/core/demangle.hpp>
#include <boost/process/args.hpp>
#include <boost/process/child.hpp>
#include <boost/process/exe.hpp>
#include <glog/logging.h>

#include "QorCrashHandler/TrackException.h"
#include "QorString/Utf.h"
#include "utils/AbstractInstallerExecutor.h"

namespace Nolvar {

namespace {

namespace bp = boost::process;

// How long a terminated installer is given to disappear before its result is reported.
constexpr DWORD kTerminationWaitMs = 5000;

DWORD ToWaitMs(std::chrono::milliseconds limit) {
    const auto ms = std::max<std::chrono::milliseconds::rep>(limit.count(), 0);
    return static_cast<DWORD>(std::min<std::chrono::milliseconds::rep>(ms, INFINITE - 1));
}

std::system_error LastError(const char* what) {
    return std::system_error(static_cast<int>(GetLastError()), std::system_category(), what);
}

class WindowsInstallerProcess final : public IInstallerProcess {
public:
    explicit WindowsInstallerProcess(bp::child child) : m_child(std::move(child)) {
        // The handle is waited on and terminated through the Windows calls below only; a detached child neither
        // terminates nor waits when it goes, it just closes its handles.
        m_child.detach();
    }

    std::optional<std::int32_t> WaitForExit(std::chrono::milliseconds limit) override {
        switch (WaitForSingleObject(m_child.native_handle(), ToWaitMs(limit))) {
        case WAIT_OBJECT_0: {
            DWORD code = 0;
            if (!GetExitCodeProcess(m_child.native_handle(), &code)) throw LastError("running error");
            return static_cast<std::int32_t>(code);
        }
        case WAIT_TIMEOUT:
            return std::nullopt;
        default:
            throw LastError("wait_for error");
        }
    }

    void Terminate(std::uint32_t exitCode) override {
        if (!TerminateProcess(m_child.native_handle(), exitCode)) {
            const auto error = LastError("terminate error");
            if (WaitForSingleObject(m_child.native_handle(), 0) != WAIT_OBJECT_0) throw error;
            return;
        }
        WaitForSingleObject(m_child.native_handle(), kTerminationWaitMs);
    }

private:
    bp::child m_child;
};

class InstallerExecutor final : public AbstractInstallerExecutor {
public:
    InstallerExecutor(IInstallerExecutorObserver& observer, std::string name, ioPath installerPath,
                      std::vector<std::string> arguments, std::chrono::milliseconds waitLimit)
        : AbstractInstallerExecutor(observer, std::move(name), std::move(arguments), waitLimit),
          m_installerPath(std::move(installerPath)) {}

protected:
    std::unique_ptr<IInstallerProcess> CreateInstallerProcess(const std::vector<std::string>& arguments) override {
        std::vector<std::wstring> wide;
        wide.reserve(arguments.size());
        std::string joined;
        for (const std::string& argument : arguments) {
            wide.push_back(Core::WstringFromUtf8(argument));
            if (!joined.empty()) joined += "' '";
            joined += argument;
        }
        LOG(INFO) << "Creating process " << Core::Utf8FromPath(m_installerPath) << " with args '" << joined << "'";
        try {
            bp::child child(bp::exe = m_installerPath.wstring(), bp::args = wide);
            return std::make_unique<WindowsInstallerProcess>(std::move(child));
        } catch (const bp::process_error& e) {
            const std::error_code& code = e.code();
            LOG(INFO) << "Creating process failed, system error " << code.category().name() << ":" << code.value()
                      << " meaning " << code.message();
            Core::TrackException(boost::core::demangle(typeid(e).name()), code.message());
            return nullptr;
        }
    }

private:
    const ioPath m_installerPath;
};

} // namespace

std::unique_ptr<IInstallerExecutor> MakeInstallerExecutor(IInstallerExecutorObserver& observer, std::string name,
                                                          ioPath installerPath, std::vector<std::string> arguments,
                                                          std::chrono::milliseconds waitLimit) {
    return std::make_unique<InstallerExecutor>(observer, std::move(name), std::move(installerPath),
                                               std::move(arguments), waitLimit);
}

} // namespace Nolvar
