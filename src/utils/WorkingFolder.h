#pragma once
// The per-run working folder under the temporary directory, and random file names.
#include <memory>
#include <string>

#include "QorFilesystem/Path.h"
#include "QorPointer/UniqueHandle.h"

namespace Nolvar {

// This run's folder "<temp>/Netsetter-<n>", created on the first call; later calls return the same folder.
// While this process runs, the folder holds an open lock file that keeps other runs from removing it.
// Throws boost::filesystem::filesystem_error when it cannot be created.
ioPath GetWorkingFolder();

// Removes every folder of the temporary directory whose name begins with "Netsetter-", this run's included (its
// lock is released first). A folder whose lock file another running installer holds is left intact; from any
// other folder, whatever can be deleted is deleted, and what cannot (open or protected files) stays.
void RemoveOldWorkingFolders();

// A path in `folder` named by a random number followed by `suffix`, with `extension`, that does not exist yet.
ioPath MakeRandomFilePath(const ioPath& folder, const std::string& extension, const std::string& suffix);

namespace Detail {

// The open lock file of a working folder.
class WorkingFolderLock {
public:
    explicit WorkingFolderLock(const ioPath& folder);
    bool locked() const;

private:
    Core::UniqueKernelHandle m_handle;
};

// Creates a new locked working folder under `tempFolder`; the lock lives in `lock`.
ioPath CreateWorkingFolderIn(const ioPath& tempFolder, std::unique_ptr<WorkingFolderLock>& lock);
// Removes the working folders under `tempFolder` (see RemoveOldWorkingFolders).
void RemoveWorkingFoldersIn(const ioPath& tempFolder);

} // namespace Detail

} // namespace Nolvar
