#include "QorFilesystem/DirectoryWatcher.h"

#include <windows.h>

#include <system_error>
#include <thread>

#include "QorPointer/UniqueHandle.h"

namespace Nolvar::Core {

namespace {

std::system_error LastError(const char* what) {
    return std::system_error(static_cast<int>(GetLastError()), std::system_category(), what);
}

UniqueChangeNotification WatchDirectory(const ioPath& directory, DWORD filter) {
    UniqueChangeNotification notification(FindFirstChangeNotificationW(directory.wstring().c_str(), FALSE, filter));
    if (!notification) throw LastError("FindFirstChangeNotificationW");
    return notification;
}

UniqueKernelHandle NewManualResetEvent() {
    UniqueKernelHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event) throw LastError("CreateEventW");
    return event;
}

DWORD FilterOf(WatchMode mode) {
    DWORD filter = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME;
    if (mode == WatchMode::AnyChange) {
        filter |= FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_ATTRIBUTES;
    }
    return filter;
}

class DirectoryWatcher final : public IDirectoryWatcher {
public:
    DirectoryWatcher(const ioPath& directory, WatchMode mode, IDirectoryWatcherFactory::Callback callback)
        : m_notification(WatchDirectory(directory, FilterOf(mode))),
          m_stop(NewManualResetEvent()),
          m_callback(std::move(callback)), m_thread([this] { run(); }) {}

    ~DirectoryWatcher() override {
        SetEvent(m_stop.get());
        m_thread.join();
    }

private:
    void run() {
        const HANDLE handles[] = {m_stop.get(), m_notification.get()};
        for (;;) {
            const DWORD which = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
            if (which != WAIT_OBJECT_0 + 1) return;  // stop, or the handles are gone
            // Re-arm before the callback, so a change made while it runs wakes the next wait.
            const bool rearmed = FindNextChangeNotification(m_notification.get());
            if (m_callback) m_callback();
            if (!rearmed) return;
        }
    }

    UniqueChangeNotification m_notification;
    UniqueKernelHandle m_stop;
    IDirectoryWatcherFactory::Callback m_callback;
    std::thread m_thread;  // last: starts after everything it uses exists
};

class DirectoryWatcherFactory final : public IDirectoryWatcherFactory {
public:
    std::unique_ptr<IDirectoryWatcher> create(const ioPath& directory, WatchMode mode, Callback callback) override {
        return std::make_unique<DirectoryWatcher>(directory, mode, std::move(callback));
    }
};

} // namespace

std::shared_ptr<IDirectoryWatcherFactory> CreateDirectoryWatcherFactory() {
    return std::make_shared<DirectoryWatcherFactory>();
}

} // namespace Nolvar::Core
