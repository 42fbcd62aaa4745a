#pragma once
#include <memory>

#include "QorFilesystem/Path.h"
#include "Tracking/Tallivo/Impl/IConcurrency.h"
#include "Tracking/Tallivo/TallivoApi.h"

namespace boost::interprocess {
class file_lock;
}

namespace Nolvar::Tracking::Instant {

// An exclusive lock on the lock file in the storage directory, taken without waiting and released when the
// object (or the process) ends.
class TALLIVO_API FileLock : public IConcurrency {
public:
    static constexpr const wchar_t* kFileName = L"nolvaria_statistics";

    // Creates the directory and the lock file when missing; throws boost::interprocess::interprocess_exception
    // when the file cannot be opened.
    explicit FileLock(const ioPath& directory);
    ~FileLock() override;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Throws boost::interprocess::interprocess_exception for errors other than the lock being held elsewhere.
    bool tryLock() override;

private:
    bool m_locked = false;
    ioPath m_lockPath;
    std::unique_ptr<boost::interprocess::file_lock> m_lock;
};

} // namespace Nolvar::Tracking::Instant
