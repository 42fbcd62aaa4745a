#include "utils/WorkingFolder.h"

#include <windows.h>

#include <mutex>
#include <random>
#include <vector>

#include <boost/filesystem/directory.hpp>
#include <boost/filesystem/operations.hpp>

namespace Nolvar {
namespace {

constexpr std::wstring_view kFolderPrefix = L"Netsetter-";
constexpr wchar_t kLockFileName[] = L"netsetter.lock";

std::mt19937& WorkingFolderRandom() {
    static std::mt19937 engine{std::random_device{}()};
    return engine;
}

// Seeded once, before main.
[[maybe_unused]] const bool g_seeded = (WorkingFolderRandom(), true);

std::uint32_t DrawNumber() {
    std::uniform_int_distribution<std::uint32_t> distribution(0, 2147483647);
    return distribution(WorkingFolderRandom());
}

struct WorkingFolderState {
    std::mutex mutex;
    ioPath folder;
    std::unique_ptr<Detail::WorkingFolderLock> lock;
};

WorkingFolderState& State() {
    static WorkingFolderState state;
    return state;
}

// True when the folder may be removed: it has no lock file, or its lock file could be deleted (no run holds it).
bool ClaimFolder(const ioPath& folder) {
    const ioPath lock = folder / kLockFileName;
    if (GetFileAttributesW(lock.c_str()) == INVALID_FILE_ATTRIBUTES) return true;
    return DeleteFileW(lock.c_str()) != 0;
}

} // namespace

namespace Detail {

// Opened without delete sharing: while the handle lives, nobody can delete the file, and so not its folder either.
WorkingFolderLock::WorkingFolderLock(const ioPath& folder)
    : m_handle(CreateFileW((folder / kLockFileName).c_str(), GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)) {}

bool WorkingFolderLock::locked() const { return m_handle.valid(); }

ioPath CreateWorkingFolderIn(const ioPath& tempFolder, std::unique_ptr<WorkingFolderLock>& lock) {
    for (;;) {
        ioPath candidate;
        do {
            candidate = tempFolder / (std::wstring(kFolderPrefix) + std::to_wstring(DrawNumber()));
        } while (boost::filesystem::exists(candidate));
        boost::filesystem::create_directory(candidate);
        lock = std::make_unique<WorkingFolderLock>(candidate);
        if (lock->locked()) return candidate;
        // Another installer removed the new folder before it was locked: take another number.
    }
}

void RemoveWorkingFoldersIn(const ioPath& tempFolder) {
    boost::system::error_code error;
    boost::filesystem::directory_iterator it(tempFolder, boost::filesystem::directory_options::skip_permission_denied,
                                             error);
    if (error) return;
    std::vector<ioPath> folders;
    for (; it != boost::filesystem::directory_iterator(); it.increment(error)) {
        if (error) break;
        const std::wstring name = it->path().filename().wstring();
        if (name.compare(0, kFolderPrefix.size(), kFolderPrefix) != 0) continue;
        boost::system::error_code statusError;
        if (boost::filesystem::is_directory(it->path(), statusError)) folders.push_back(it->path());
    }
    for (const ioPath& folder : folders) {
        if (ClaimFolder(folder)) boost::filesystem::remove_all(folder, error);
    }
}

} // namespace Detail

ioPath GetWorkingFolder() {
    auto& state = State();
    std::lock_guard lock(state.mutex);
    if (state.folder.empty()) state.folder = Detail::CreateWorkingFolderIn(boost::filesystem::temp_directory_path(), state.lock);
    return state.folder;
}

void RemoveOldWorkingFolders() {
    {
        auto& state = State();
        std::lock_guard lock(state.mutex);
        state.lock.reset();
    }
    boost::system::error_code error;
    const ioPath temp = boost::filesystem::temp_directory_path(error);
    if (!error) Detail::RemoveWorkingFoldersIn(temp);
}

ioPath MakeRandomFilePath(const ioPath& folder, const std::string& extension, const std::string& suffix) {
    for (;;) {
        ioPath candidate = folder / Core::PathFromUtf8(std::to_string(DrawNumber()) + suffix);
        candidate.replace_extension(Core::PathFromUtf8(extension));
        if (!boost::filesystem::exists(candidate)) return candidate;
    }
}

} // namespace Nolvar
