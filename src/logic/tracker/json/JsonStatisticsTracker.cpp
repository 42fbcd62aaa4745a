#include "logic/tracker/json/JsonStatisticsTracker.h"

#include <optional>
#include <utility>

#include <glog/logging.h>

#include "Tracking/Tallivo/Tracker.h"
#include "logic/tracker/json/DataFillers.h"
#include "logic/tracker/json/TrackerInitializer.h"

namespace Nolvar {

namespace {

void LogEvent(const Tracking::Instant::Event& event) {
    LOG(INFO) << "Event \"" << event.name << "\" tracked";
    for (const auto& [key, value] : event.params) {
        LOG(INFO) << "    Parameter \"" << key << "\" = \"" << value << "\"";
    }
}

} // namespace

Tracking::ApplicationTrackerPtr JsonStatisticsTracker::ProcessTracker() {
    return Tracking::Instant::Tracker::GetInstance();
}

JsonStatisticsTracker::JsonStatisticsTracker(TrackerSource trackerSource, std::size_t maxPendingEvents,
                                             LeftoverStorage leftoverStorage)
    : m_trackerSource(std::move(trackerSource)),
      m_maxPendingEvents(maxPendingEvents),
      m_leftoverStorage(std::move(leftoverStorage)) {}

JsonStatisticsTracker::~JsonStatisticsTracker() {
    std::lock_guard lock(m_lock);
    const auto tracker = m_trackerSource();
    if (tracker && !tracker->IsInitialized() && !m_pendingEvents.empty()) storeLeftovers(*tracker);
    if (tracker) {
        m_fillers.clear();
        tracker->Deinitialize();
    }
    if (!m_pendingEvents.empty())
        LOG(WARNING) << m_pendingEvents.size() << " statistics events waited for the tracker to the end and are lost";
}

// The run ends before a configuration named the statistics address (or before one could be used): its events
// go where the built-in configuration keeps events, and the next run that sends from there sends them.
void JsonStatisticsTracker::storeLeftovers(Tracking::IApplicationTracker& tracker) {
    const std::optional<StatisticsSettings> settings = m_leftoverStorage ? m_leftoverStorage() : std::nullopt;
    if (!settings || !tracker.Initialize(MakeStoringInitializer(*settings))) return;
    m_fillers = CreateDataFillers();
    const std::size_t count = m_pendingEvents.size();
    for (auto& event : std::exchange(m_pendingEvents, {})) deliverOrKeep(std::move(event));
    LOG(INFO) << "Storing " << count << " statistics events that waited for the configuration under \""
              << settings->product << "\" for a later run to send";
}

void JsonStatisticsTracker::Initialize(const std::string& statisticsUrl, const std::string& productKey,
                                       const std::string& product) {
    std::lock_guard lock(m_lock);
    const auto tracker = m_trackerSource();
    if (!tracker) return;
    if (tracker->IsInitialized()) {
        m_fillers.clear();
        tracker->Deinitialize();
    }
    tracker->Initialize(MakeTrackerInitializer(statisticsUrl, productKey, product));
    m_fillers = CreateDataFillers();

    // Replay what waited. When the tracker did not initialise, these events are dropped; later ones wait again.
    auto replay = std::exchange(m_pendingEvents, {});
    for (auto& event : replay) {
        LogEvent(event);
        deliverOrKeep(std::move(event));
    }
    if (!m_pendingEvents.empty()) {
        LOG(WARNING) << "The statistics tracker did not initialise: dropping the " << m_pendingEvents.size()
                     << " events that waited for it";
        m_pendingEvents.clear();
    }
}

void JsonStatisticsTracker::TrackEvent(Tracking::Instant::Event event) {
    if (event.name.empty()) return;
    std::lock_guard lock(m_lock);
    LogEvent(event);
    deliverOrKeep(std::move(event));
}

void JsonStatisticsTracker::deliverOrKeep(Tracking::Instant::Event event) {
    const auto tracker = m_trackerSource();
    if (!tracker || !tracker->IsInitialized()) {
        keepPending(std::move(event));
        return;
    }
    for (const auto& filler : m_fillers) filler->Fill(event);
    tracker->TrackEvent(event.name, event.params);
}

void JsonStatisticsTracker::keepPending(Tracking::Instant::Event event) {
    m_pendingEvents.push_back(std::move(event));
    if (m_pendingEvents.size() <= m_maxPendingEvents) return;
    LOG(WARNING) << "More than " << m_maxPendingEvents << " statistics events wait for the tracker; dropping the "
                 << "oldest, \"" << m_pendingEvents.front().name << "\"";
    m_pendingEvents.pop_front();
}

} // namespace Nolvar
