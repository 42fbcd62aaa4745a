#pragma once
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "QorPointer/UniqueHandle.h"
#include "Tracking/Tallivo/Event.h"
#include "Tracking/Tallivo/Impl/IScheduler.h"

namespace Nolvar::Tracking::Instant {

// One initialised pipeline: enriches events with the defaults and per-event fields and queues them.
class TrackerImpl {
public:
    // Throws std::logic_error for a null scheduler, std::invalid_argument / std::logic_error for a malformed
    // initialization string, std::system_error when the random source cannot be opened.
    TrackerImpl(const std::string& initializationString, const std::string& moduleName,
                std::shared_ptr<IScheduler> scheduler);
    // Flushes queued events to disk and ends the pipeline's threads (when it owns the last scheduler reference).
    ~TrackerImpl();
    TrackerImpl(const TrackerImpl&) = delete;
    TrackerImpl& operator=(const TrackerImpl&) = delete;

    // Safe to call from several threads.
    void track(const std::string& name, const Event::Params& params);
    // See IScheduler::storeAtExit.
    void storeAtExit() { m_scheduler->storeAtExit(); }

private:
    std::string makeUniqueId() const;

    std::map<std::string, std::string> m_defaults;
    std::shared_ptr<IScheduler> m_scheduler;
    Core::UniqueBCryptAlgorithm m_rng;
    std::mutex m_mutex;
    std::string m_lastEventName;
    std::string m_lastEventUniqueId;
};

} // namespace Nolvar::Tracking::Instant
