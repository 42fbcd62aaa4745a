#pragma once
// The single-instance mutex of the installer.
#include <cstdint>
#include <memory>
#include <string>

namespace Nolvar {

class ILockableSync {
public:
    virtual ~ILockableSync() = default;
    // Both wait up to `timeoutMs`; true when this process owns the lock.
    virtual bool lock(std::uint32_t timeoutMs) = 0;
    virtual bool tryLock(std::uint32_t timeoutMs) = 0;
    virtual void unlock() = 0;
};

// A named system-wide mutex of `name` (UTF-8).
std::unique_ptr<ILockableSync> CreateAppMutex(const std::string& name);

} // namespace Nolvar
