#pragma once
// Drives the download library as a client does: facade, event loop, bundles and a state observer.
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "App/Fetchwell/Fetchwell.h"
#include "App/Fetchwell/IRemoteResource.h"
#include "QorString/Utf.h"
#include "QorTracker/IApplicationTracker.h"
#include "testing/TempFolder.h"
#include "testing/TestServer.h"

namespace FetchwellTesting {

using namespace Nolvar;
using State = App::IRemoteResource::State;

class RecordingTracker final : public RefCounted<Tracking::IApplicationTracker> {
public:
    struct Event {
        std::string name;
        Params params;
    };
    bool Initialize(Initializer) override { return true; }
    bool Initialize(const std::string&, const Core::Version&, const std::string&, const std::string&,
                    const std::shared_ptr<App::ILoggerFactory>&) override {
        return true;
    }
    bool Deinitialize() override { return true; }
    bool IsInitialized() const override { return true; }
    bool TrackEvent(const std::string& name, const Params& params) override {
        std::lock_guard lock(m_mutex);
        m_events.push_back({name, params});
        return true;
    }
    bool TrackException(const std::string&, const std::string&, const std::string&) override { return true; }
    std::vector<Event> events() const {
        std::lock_guard lock(m_mutex);
        return m_events;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<Event> m_events;
};

// Records every state a resource reports and lets the test wait for one.
class StateRecorder : public App::IRemoteResourceEventHandler {
public:
    void onStateChanged(State state, const App::ResourceDescriptorBundle*) override {
        std::lock_guard lock(m_mutex);
        m_states.push_back(state);
        m_changed.notify_all();
    }
    // The first recorded state that satisfies the predicate, or the last one after the time-out.
    State waitFor(const std::function<bool(const State&)>& wanted,
                  std::chrono::milliseconds limit = std::chrono::seconds(30)) {
        std::unique_lock lock(m_mutex);
        const State* found = nullptr;
        m_changed.wait_for(lock, limit, [&] {
            for (const auto& s : m_states)
                if (wanted(s)) return (found = &s), true;
            return false;
        });
        return found ? *found : (m_states.empty() ? State{} : m_states.back());
    }
    State waitForFinal(std::chrono::milliseconds limit = std::chrono::seconds(30)) {
        return waitFor([](const State& s) { return IsFinal(s); }, limit);
    }
    std::vector<State> states() const {
        std::lock_guard lock(m_mutex);
        return m_states;
    }
    static bool IsFinal(const State& s) {
        return s.status == App::IRemoteResource::Available || s.status == App::IRemoteResource::Error;
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<State> m_states;
};

inline App::Fetchwell::Params ParallelParams(std::uint64_t threads = 4) {
    App::Fetchwell::Params params;
    params.useParallelExecutor = true;
    params.threadCount = threads;
    return params;
}

// A descriptor downloading `relative` from the test server into a folder of its own.
struct Download {
    App::ResourceDescriptor descriptor;
    App::ResourceDescriptorBundle bundle;
    StateRecorder recorder;

    Download(const Testing::TempFolder& folder, const std::string& name, const std::string& baseUrl,
             const std::string& relative) {
        descriptor.traceName1 = name;
        descriptor.traceName2 = "test";
        descriptor.baseUrl = baseUrl;
        descriptor.serverRelativePath = relative;
        descriptor.destPath = (folder / std::filesystem::path(Core::WstringFromUtf8(name))).wstring();
        descriptor.path = descriptor.destPath;
        descriptor.tempPath = descriptor.destPath.wstring() + L".part";
        bundle.insert(&descriptor);
    }
    App::IRemoteResource* start(App::Fetchwell& fetchwell, bool initScheduler = false) {
        auto scheduler = initScheduler ? fetchwell.getInitScheduler() : fetchwell.getMainScheduler();
        App::IRemoteResource* resource = scheduler->registerResource(&bundle);
        resource->registerEventHandler(&recorder, App::IRemoteResource::NotificationParams{});
        return scheduler->registerAutoSchedule(&bundle, 2, 0);
    }
};

// Bytes /data/<size> serves.
inline std::string PatternBytes(std::size_t size) {
    std::string out(size, '\0');
    for (std::size_t i = 0; i < size; ++i) out[i] = static_cast<char>(i % 251);
    return out;
}

} // namespace FetchwellTesting
