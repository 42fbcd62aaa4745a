#include "Tracking/Tallivo/Tracker.h"

#include <chrono>
#include <mutex>
#include <stdexcept>
#include <typeinfo>

#include <windows.h>

#include <glog/logging.h>

#include "QorCrashHandler/TrackException.h"
#include "QorException/CallStack.h"
#include "QorFilesystem/DirectoryWatcher.h"
#include "QorNetworking/Url.h"
#include "QorTime/Clock.h"
#include "Tracking/Tallivo/Impl/FileLock.h"
#include "Tracking/Tallivo/Impl/IdGenerator.h"
#include "Tracking/Tallivo/Impl/JsonEventSerializer.h"
#include "Tracking/Tallivo/Impl/Scheduler.h"
#include "Tracking/Tallivo/Impl/Sender.h"
#include "Tracking/Tallivo/Impl/Storage.h"
#include "Tracking/Tallivo/Impl/TrackerImpl.h"

namespace Nolvar::Tracking::Instant {

namespace {

constexpr std::chrono::microseconds kPollInterval{5'000'000};

[[noreturn]] void ThrowMissing(const char* what) {
    throw std::invalid_argument(std::string("Cant get ") + what + ", which is required\n" + Core::GetCallStack());
}

std::string Required(const std::optional<std::string>& field, const std::shared_ptr<ITrackerDataProvider>& provider,
                     std::string (ITrackerDataProvider::*getter)() const, const char* what) {
    if (field && !field->empty()) return *field;
    if (!provider) ThrowMissing(what);
    return ((*provider).*getter)();
}

// The pipeline's threads run this library's code, so it stays loaded until the process exits: ending them in
// an unload would wait for the loader lock that the unload holds.
void KeepLibraryLoaded() {
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCWSTR>(&KeepLibraryLoaded), &self);
}

std::shared_ptr<IScheduler> BuildPipeline(const IApplicationTracker::Initializer& init) {
    const auto& provider = init.dataProvider;
    Core::Version version;
    if (init.version && !init.version->empty()) {
        version = Core::Util::VersionFromString(*init.version, ".");
    } else if (provider) {
        version = provider->getVersion();
    } else {
        ThrowMissing("version");
    }
    const auto clock = Time::ClockFactory().createSystemClock();
    const auto serializer = std::make_shared<JsonEventSerializer>(version, clock);

    const std::string statisticsUrl =
        Required(init.statisticsUrl, provider, &ITrackerDataProvider::getStatisticsUrl, "statistics url");
    std::pair<std::string, std::string> header;
    if (init.extraHeader) {
        header = *init.extraHeader;
    } else if (provider) {
        header = provider->getHeader();
    } else {
        ThrowMissing("extra header");
    }
    const std::string vendor = Required(init.vendor, provider, &ITrackerDataProvider::getVendor, "vendor");
    const std::string product = Required(init.product, provider, &ITrackerDataProvider::getProduct, "product");
    const auto protocol = init.protocolVersion.value_or(Networking::HttpVersion::Default);

    const Networking::Url url(statisticsUrl, Networking::Url::ParsingMode::Lenient);
    if (!url.isValid()) throw std::logic_error("Invalid STATISTICS_URL\n" + Core::GetCallStack());
    const auto sender = std::make_shared<Sender>(url, header, protocol, nullptr);
    const auto ids = std::make_shared<IdGenerator>(clock);
    const auto storage = std::make_shared<Storage>(serializer, vendor, product, ids, clock);
    const auto lock = std::make_shared<FileLock>(storage->getDirectory());
    bool preventSending = false;
    if (provider) {
        if (const auto settings = provider->getSettings()) {
            preventSending = settings->getBool(kPreventEventsSending, false);
        }
    }
    KeepLibraryLoaded();
    return std::make_shared<Scheduler>(sender, serializer, storage, lock, Core::CreateDirectoryWatcherFactory(),
                                       preventSending, kPollInterval);
}

} // namespace

// True while the process is exiting (ExitProcess has ended every other thread).
bool ProcessIsExiting() {
    using ShutdownInProgress = BOOLEAN(NTAPI*)();
    static const auto inProgress = reinterpret_cast<ShutdownInProgress>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlDllShutdownInProgress")));
    return inProgress && inProgress() != FALSE;
}

// Owns the library's own reference to the tracker; released when the library unloads. At the process's exit
// the pipeline's threads are already gone and it is let go; an unload before (possible only while no pipeline
// of this library runs) releases the tracker like any other reference.
class TrackerInstance {
public:
    TrackerInstance() : m_tracker(new Tracker) { m_tracker->AddRef(); }
    ~TrackerInstance() {
        if (ProcessIsExiting()) m_tracker->abandon();
        m_tracker->Release();
    }
    Tracker* get() const { return m_tracker; }

private:
    Tracker* m_tracker;
};

Tracker::Tracker() = default;
Tracker::~Tracker() = default;

boost::intrusive_ptr<Tracker> Tracker::GetInstance() {
    static TrackerInstance instance;
    return boost::intrusive_ptr<Tracker>(instance.get());
}

std::uint32_t Tracker::AddRef() const { return m_refs.AddRefImpl(); }
std::uint32_t Tracker::GetRefCount() const { return m_refs.GetRefCountImpl(); }

std::uint32_t Tracker::Release() const {
    const std::uint32_t left = m_refs.ReleaseImpl();
    if (left == 0) delete this;
    return left;
}

bool Tracker::Initialize(Initializer initializer) {
    try {
        std::string moduleName;
        if (initializer.moduleName && !initializer.moduleName->empty()) {
            moduleName = *initializer.moduleName;
        } else if (initializer.dataProvider) {
            moduleName = initializer.dataProvider->getModuleName();
        } else {
            throw std::invalid_argument("Cant get module name, which is required\n" + Core::GetCallStack());
        }
        std::shared_ptr<IScheduler> scheduler = initializer.scheduler;
        if (!scheduler) scheduler = BuildPipeline(initializer);
        auto impl = std::make_unique<TrackerImpl>(initializer.initializationString, moduleName, std::move(scheduler));
        {
            std::unique_lock lock(m_guard);
            m_impl.swap(impl);
        }
        // The old pipeline ends here, outside the guard: tracking threads are not held up by its shutdown.
        impl.reset();
        return true;
    } catch (const std::exception& e) {
        LOG(ERROR) << "Failed to initialize tracker. Error: " << e.what();
        Core::TrackException("TallivoException", typeid(e).name());
        return false;
    }
}

bool Tracker::Initialize(const std::string&, const Core::Version&, const std::string&, const std::string&,
                         const std::shared_ptr<App::ILoggerFactory>&) {
    return false;
}

bool Tracker::Deinitialize() {
    std::unique_ptr<TrackerImpl> impl;
    {
        std::unique_lock lock(m_guard);
        impl.swap(m_impl);
    }
    impl.reset();
    return true;
}

bool Tracker::IsInitialized() const {
    std::shared_lock lock(m_guard);
    return m_impl != nullptr;
}

bool Tracker::TrackEvent(const std::string& name, const Params& params) {
    try {
        std::shared_lock lock(m_guard);
        if (!m_impl) return false;
        m_impl->track(name, params);
        return true;
    } catch (const std::exception& e) {
        LOG(WARNING) << "Failed to track event " << name;
        Core::TrackException("TallivoException", typeid(e).name());
        return false;
    }
}

bool Tracker::TrackException(const std::string& name, const std::string& key, const std::string& value) {
    try {
        std::shared_lock lock(m_guard);
        if (!m_impl) return false;
        m_impl->track(name, {{key, value}});
        return true;
    } catch (const std::exception& e) {
        LOG(WARNING) << "Failed to track exception " << name;
        Core::TrackException("TallivoException", typeid(e).name());
        return false;
    }
}

void Tracker::abandon() {
    // No lock: a thread that ExitProcess ended may have held it. The events still queued go to disk first.
    if (m_impl) m_impl->storeAtExit();
    static_cast<void>(m_impl.release());
}

} // namespace Nolvar::Tracking::Instant

Nolvar::Tracking::Instant::Tracker* GetInstance() {
    return Nolvar::Tracking::Instant::Tracker::GetInstance().get();
}
