#include "logic/tracker/json/JsonStatisticsTracker.h"

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

JsonStatisticsTracker::JsonStatisticsTracker(TrackerSource trackerSource, std::size_t maxPendingEvents)
    : m_trackerSource(std::move(trackerSource)), m_maxPendingEvents(maxPendingEvents) {}

JsonStatisticsTracker::~JsonStatisticsTracker() {
    std::lock_guard lock(m_lock);
    if (const auto tracker = m_trackerSource()) {
        m_fillers.clear();
        tracker->Deinitialize();
    }
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
    auto replay = std::move(m_pendingEvents);
    m_pendingEvents.clear();
    for (auto& event : replay) {
        LogEvent(event);
        deliverOrKeep(std::move(event));
    }
    m_pendingEvents.clear();
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
    m_pendingEvents.pop_front();
    if (!m_pendingOverflowReported) {
        m_pendingOverflowReported = true;
        LOG(WARNING) << "More than " << m_maxPendingEvents
                     << " statistics events wait for the tracker; dropping the oldest";
    }
}

} // namespace Nolvar
