// Measures one download through the whole library: register, schedule, Available.
// Usage: fetchwell_bench <url> <output file>; prints "bytes=N seconds=S MBps=R" and exits 0 when Available.
#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>

#include "App/Fetchwell/Fetchwell.h"
#include "QorFilesystem/Path.h"
#include "QorString/Utf.h"

using namespace Nolvar;

namespace {

class FinalState : public App::IRemoteResourceEventHandler {
public:
    void onStateChanged(App::IRemoteResource::State state, const App::ResourceDescriptorBundle*) override {
        if (state.status != App::IRemoteResource::Available && state.status != App::IRemoteResource::Error) return;
        std::lock_guard lock(m_mutex);
        m_state = state;
        m_done = true;
        m_changed.notify_all();
    }
    App::IRemoteResource::State wait() {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_done; });
        return m_state;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_done = false;
    App::IRemoteResource::State m_state;
};

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: fetchwell_bench <url> <output file>\n");
        return 2;
    }
    App::ResourceDescriptor descriptor;
    descriptor.serverRelativePath = Core::Utf8FromWstring(argv[1]);
    descriptor.destPath = ioPath(argv[2]);
    descriptor.path = descriptor.destPath;
    descriptor.tempPath = descriptor.destPath.wstring() + L".part";
    App::ResourceDescriptorBundle bundle{&descriptor};

    App::Fetchwell fetchwell;
    App::Fetchwell::Params params;
    params.useParallelExecutor = true;
    params.threadCount = App::Fetchwell::getOptimalThreadCount();
    fetchwell.init(params, {});
    fetchwell.startEventLoopThread();

    FinalState final;
    const auto started = std::chrono::steady_clock::now();
    auto scheduler = fetchwell.getMainScheduler();
    scheduler->registerResource(&bundle)->registerEventHandler(&final, {false, {App::IRemoteResource::Available,
                                                                                  App::IRemoteResource::Error}, 1.0});
    scheduler->registerAutoSchedule(&bundle, 2, 0);
    const auto state = final.wait();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    fetchwell.abort();

    if (state.status != App::IRemoteResource::Available) {
        std::fprintf(stderr, "download failed: %s\n", state.toDebugString().c_str());
        return 1;
    }
    const auto bytes = static_cast<double>(state.total);
    std::printf("bytes=%.0f seconds=%.3f MBps=%.1f\n", bytes, seconds, bytes / seconds / 1e6);
    return 0;
}
