#pragma once
// File operations on ioPath (wide paths throughout). The throwing forms raise boost::filesystem_error.
#include <cstdint>
#include <limits>
#include <string>

#include <boost/system/error_code.hpp>
#include <boost/system/result.hpp>

#include "QorFilesystem/Path.h"

namespace Nolvar::Core {

bool exists(const ioPath& path);
// True when something was removed.
bool remove(const ioPath& path);
// Renames, replacing an existing destination file.
void rename(const ioPath& from, const ioPath& to);
// Copies, replacing an existing destination file.
void copy_file(const ioPath& from, const ioPath& to);
bool create_directories(const ioPath& path);
ioPath parent_path(const ioPath& path);
// Last modification time in Unix seconds (UTC).
std::int64_t last_write_time(const ioPath& path);

// Why a whole-file read gave nothing: the step that failed, the system's error of that call, and the file's size
// once it is known.
struct ReadFailure {
    enum Step { Open, NotAFile, Size, Read, TooLarge } step;
    boost::system::error_code error;
    std::uint64_t size = 0;
};

// The whole content of `path`, read through one handle that lets others read, write and delete meanwhile. Only a
// file on disk is read: a device ("CON", "NUL") or a pipe is refused (step NotAFile), a folder cannot be opened. A
// file larger than `maxBytes` is not read (step TooLarge).
boost::system::result<std::string, ReadFailure> read_whole_file(
    const ioPath& path, std::uint64_t maxBytes = std::numeric_limits<std::uint64_t>::max());

} // namespace Nolvar::Core
