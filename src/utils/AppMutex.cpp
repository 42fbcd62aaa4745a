#include "utils/AppMutex.h"

#include "QorOS/AppMutexLocker.h"

namespace Nolvar {
namespace Util {
namespace {

class Mutex : public ILockableSync {
public:
    explicit Mutex(const std::string& name) : m_locker(std::make_unique<AppMutexLocker>(name)) {}
    ~Mutex() override { m_locker->release(); }
    bool lock(std::uint32_t timeoutMs) override { return m_locker->acquire(timeoutMs); }
    bool tryLock(std::uint32_t timeoutMs) override { return m_locker->acquire(timeoutMs); }
    void unlock() override { m_locker->release(); }

private:
    std::unique_ptr<AppMutexLocker> m_locker;
};

} // namespace
} // namespace Util

std::unique_ptr<ILockableSync> CreateAppMutex(const std::string& name) { return std::make_unique<Util::Mutex>(name); }

} // namespace Nolvar
