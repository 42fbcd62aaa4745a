#pragma once
// Calls back when the content of a directory changes, from a thread of the watcher's own.
#include <functional>
#include <memory>

#include "QorFilesystem/Path.h"

namespace Nolvar::Core {

enum class WatchMode : int {
    FileNames = 1,  // files added, removed or renamed
    AnyChange = 2,  // also writes, sizes and attributes
};

class IDirectoryWatcher {
public:
    // Stops watching; returns after the last callback has ended.
    virtual ~IDirectoryWatcher() = default;
};

class IDirectoryWatcherFactory {
public:
    using Callback = std::function<void()>;

    virtual ~IDirectoryWatcherFactory() = default;
    // Watches `directory` (not its subdirectories). The callback runs on the watcher's thread, once per burst of
    // changes; it must not destroy the watcher. Throws std::system_error when the directory cannot be watched.
    virtual std::unique_ptr<IDirectoryWatcher> create(const ioPath& directory, WatchMode mode, Callback callback) = 0;
};

// Watchers over Windows change notifications.
std::shared_ptr<IDirectoryWatcherFactory> CreateDirectoryWatcherFactory();

} // namespace Nolvar::Core
