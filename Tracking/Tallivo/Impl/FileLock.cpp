#include "Tracking/Tallivo/Impl/FileLock.h"

#include <windows.h>

#include <boost/filesystem/operations.hpp>
#include <boost/interprocess/sync/file_lock.hpp>

#include "QorPointer/UniqueHandle.h"

namespace Nolvar::Tracking::Instant {

FileLock::FileLock(const ioPath& directory) : m_lockPath(directory / kFileName) {
    boost::system::error_code ignored;
    if (!boost::filesystem::exists(m_lockPath, ignored)) {
        boost::filesystem::create_directories(directory, ignored);
        // OPEN_ALWAYS: another process creating it at the same moment is fine.
        const Core::UniqueKernelHandle created(CreateFileW(m_lockPath.wstring().c_str(), GENERIC_WRITE,
                                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                                           nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    m_lock = std::make_unique<boost::interprocess::file_lock>(m_lockPath.wstring().c_str());
    m_locked = m_lock->try_lock();
}

FileLock::~FileLock() = default;

bool FileLock::tryLock() {
    if (!m_locked) m_locked = m_lock->try_lock();
    return m_locked;
}

} // namespace Nolvar::Tracking::Instant
