#pragma once
// A named mutex that tells whether another process of the same application is running in this session.
#include <windows.h>

#include <cstdint>
#include <string>

#include "QorPointer/UniqueHandle.h"

namespace Nolvar::Util {

class AppMutexLocker {
public:
    // `name` is UTF-8; the mutex lives in the session's namespace.
    explicit AppMutexLocker(const std::string& name);
    ~AppMutexLocker();
    AppMutexLocker(const AppMutexLocker&) = delete;
    AppMutexLocker& operator=(const AppMutexLocker&) = delete;

    // Waits up to `timeoutMs` for ownership; true when this process owns the mutex (also when already owned).
    bool acquire(std::uint32_t timeoutMs);
    // Gives up ownership if held.
    void release();

private:
    Core::UniqueKernelHandle m_mutex;
    bool m_owned = false;
};

} // namespace Nolvar::Util
