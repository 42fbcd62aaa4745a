#include "QorFilesystem/FileOperations.h"

#include <boost/filesystem/operations.hpp>

namespace Nolvar::Core {

namespace fs = boost::filesystem;

bool exists(const ioPath& path) { return fs::exists(path); }

bool remove(const ioPath& path) { return fs::remove(path); }

void rename(const ioPath& from, const ioPath& to) { fs::rename(from, to); }

void copy_file(const ioPath& from, const ioPath& to) { fs::copy_file(from, to, fs::copy_options::overwrite_existing); }

bool create_directories(const ioPath& path) { return fs::create_directories(path); }

ioPath parent_path(const ioPath& path) { return path.parent_path(); }

std::int64_t last_write_time(const ioPath& path) { return static_cast<std::int64_t>(fs::last_write_time(path)); }

} // namespace Nolvar::Core
