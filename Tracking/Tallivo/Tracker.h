#pragma once
// The process-wide statistics tracker of the tracking library.
#include <memory>
#include <shared_mutex>

#include "QorTracker/IApplicationTracker.h"
#include "QorTracker/ITrackerDataProvider.h"
#include "Tracking/Tallivo/TallivoApi.h"

namespace Nolvar::Tracking::Instant {

class TrackerImpl;

// Initialise once with an Initializer, then track events from any thread. Initialize and Deinitialize may run
// while other threads track: such an event goes to the old or the new pipeline, or is refused (false).
class TALLIVO_API Tracker : public IApplicationTracker {
public:
    // The one tracker of the process, with a reference for the caller.
    static boost::intrusive_ptr<Tracker> GetInstance();

    std::uint32_t AddRef() const override;
    std::uint32_t GetRefCount() const override;
    std::uint32_t Release() const override;

    bool Initialize(Initializer initializer) override;
    // The older form: does nothing, returns false.
    bool Initialize(const std::string& name, const Core::Version& version, const std::string& vendor,
                    const std::string& product, const std::shared_ptr<App::ILoggerFactory>& loggers) override;
    // Stores the queued events and ends the pipeline's threads; always true.
    bool Deinitialize() override;
    bool IsInitialized() const override;
    bool TrackEvent(const std::string& name, const Params& params) override;
    bool TrackException(const std::string& name, const std::string& key, const std::string& value) override;

private:
    friend class TrackerInstance;

    Tracker();
    ~Tracker() override;
    Tracker(const Tracker&) = delete;
    Tracker& operator=(const Tracker&) = delete;

    // At process exit the pipeline's threads are gone and the loader lock is held: let the pipeline go unjoined.
    void abandon();

    RefCountImpl m_refs;
    mutable std::shared_mutex m_guard;  // shared while tracking, exclusive while swapping the pipeline
    std::unique_ptr<TrackerImpl> m_impl;
};

} // namespace Nolvar::Tracking::Instant

// The same tracker as a plain pointer, without a reference for the caller (the library keeps one).
extern "C" TALLIVO_API Nolvar::Tracking::Instant::Tracker* GetInstance();
