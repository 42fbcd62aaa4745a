#pragma once
// File operations on ioPath (wide paths throughout). The throwing forms raise boost::filesystem_error.
#include <cstdint>

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

} // namespace Nolvar::Core
