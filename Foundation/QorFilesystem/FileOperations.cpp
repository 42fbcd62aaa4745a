#include "QorFilesystem/FileOperations.h"

#include <windows.h>

#include <algorithm>

#include <boost/filesystem/operations.hpp>

#include "QorPointer/UniqueHandle.h"

namespace Nolvar::Core {

namespace fs = boost::filesystem;

bool exists(const ioPath& path) { return fs::exists(path); }

bool remove(const ioPath& path) { return fs::remove(path); }

void rename(const ioPath& from, const ioPath& to) { fs::rename(from, to); }

void copy_file(const ioPath& from, const ioPath& to) { fs::copy_file(from, to, fs::copy_options::overwrite_existing); }

bool create_directories(const ioPath& path) { return fs::create_directories(path); }

ioPath parent_path(const ioPath& path) { return path.parent_path(); }

std::int64_t last_write_time(const ioPath& path) { return static_cast<std::int64_t>(fs::last_write_time(path)); }

boost::system::result<std::string, ReadFailure> read_whole_file(const ioPath& path, std::uint64_t maxBytes) {
    const auto failure = [](ReadFailure::Step step, std::uint64_t size = 0) {
        return ReadFailure{step, {static_cast<int>(GetLastError()), boost::system::system_category()}, size};
    };
    const UniqueKernelHandle file(CreateFileW(path.wstring().c_str(), GENERIC_READ,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return failure(ReadFailure::Open);
    if (GetFileType(file.get()) != FILE_TYPE_DISK) return ReadFailure{ReadFailure::NotAFile, {}, 0};
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size)) return failure(ReadFailure::Size);
    const auto bytes = static_cast<std::uint64_t>(size.QuadPart);
    if (bytes > maxBytes) return ReadFailure{ReadFailure::TooLarge, {}, bytes};
    std::string text(static_cast<std::size_t>(bytes), '\0');
    std::size_t done = 0;
    // The file may shrink while it is read: what was there is the content.
    while (done < text.size()) {
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(text.size() - done, 1u << 30));
        DWORD got = 0;
        if (!ReadFile(file.get(), text.data() + done, want, &got, nullptr)) return failure(ReadFailure::Read, bytes);
        if (got == 0) break;
        done += got;
    }
    text.resize(done);
    return text;
}

} // namespace Nolvar::Core
