#pragma once
// The installer's statistics tracker: initialises the process tracker from the configuration, adds the data
// fillers' parameters to every event and keeps the events tracked before the process tracker is ready; those
// still waiting at its end are stored for a later run.
#include <cstddef>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "QorTracker/IApplicationTracker.h"
#include "logic/tracker/json/IDataFiller.h"
#include "logic/tracker/json/IStatisticsTracker.h"

namespace Nolvar {

class JsonStatisticsTracker final : public IStatisticsTracker {
public:
    // Gives the process tracker, or null when there is none.
    using TrackerSource = std::function<Tracking::ApplicationTrackerPtr()>;
    // Gives the statistics settings under which events still waiting at the end are stored, or nothing.
    using LeftoverStorage = std::function<std::optional<StatisticsSettings>()>;

    // Events kept while the process tracker is not initialised; older ones are dropped beyond this.
    static constexpr std::size_t kMaxPendingEvents = 1000;

    // The tracking library's process tracker.
    static Tracking::ApplicationTrackerPtr ProcessTracker();

    explicit JsonStatisticsTracker(TrackerSource trackerSource = ProcessTracker,
                                   std::size_t maxPendingEvents = kMaxPendingEvents,
                                   LeftoverStorage leftoverStorage = {});
    // Events still waiting for an initialised process tracker are stored, unsent, under the leftover storage's
    // settings; then the process tracker is de-initialised (it stores what it has queued).
    ~JsonStatisticsTracker() override;
    JsonStatisticsTracker(const JsonStatisticsTracker&) = delete;
    JsonStatisticsTracker& operator=(const JsonStatisticsTracker&) = delete;

    // Safe to call from any thread, also while another thread tracks.
    void Initialize(const std::string& statisticsUrl, const std::string& productKey,
                    const std::string& product) override;
    void TrackEvent(Tracking::Instant::Event event) override;

private:
    void deliverOrKeep(Tracking::Instant::Event event);
    void keepPending(Tracking::Instant::Event event);
    void storeLeftovers(Tracking::IApplicationTracker& tracker);

    const TrackerSource m_trackerSource;
    const std::size_t m_maxPendingEvents;
    const LeftoverStorage m_leftoverStorage;

    std::mutex m_lock;  // guards everything below; held while the process tracker is called
    std::list<Tracking::Instant::Event> m_pendingEvents;
    std::vector<std::unique_ptr<IDataFiller>> m_fillers;
};

} // namespace Nolvar
