#include "App/Fetchwell/ActiveState.h"

#include "App/Fetchwell/ClientCall.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace Nolvar::App {

using Status = IRemoteResource::DownloadStatus;
using DownloadError = IRemoteResource::DownloadError;

ActiveState::ActiveState(IEventTracer::TraceRecord traceRecord, std::shared_ptr<Core::ITaskQueue> notificationQueue,
                         std::shared_ptr<IEventTracer> tracer)
    : m_traceRecord(std::move(traceRecord)),
      m_notificationQueue(std::move(notificationQueue)),
      m_tracer(std::move(tracer)) {}

void ActiveState::registerEventHandler(const void* handler, Callback callback,
                                       IRemoteResource::NotificationParams params) {
    std::lock_guard lock(m_mutex);
    m_handlers.emplace(handler, HandlerEntry{std::move(callback), std::move(params), false, State{}});
}

void ActiveState::unregisterEventHandler(const void* handler) {
    std::lock_guard lock(m_mutex);
    m_handlers.erase(handler);
}

void ActiveState::linkToParent(ActiveState* parent, ActiveState* child) {
    {
        std::lock_guard lock(parent->m_mutex);
        parent->m_children[child] = State{};
    }
    std::lock_guard lock(child->m_mutex);
    child->m_parents.push_back(parent);
}

ActiveState::State ActiveState::getState() const {
    std::lock_guard lock(m_mutex);
    return m_state;
}

void ActiveState::reset() {
    std::lock_guard lock(m_mutex);
    m_state = State{};
}

double ActiveState::progressFraction(std::uint64_t done, std::uint64_t total) {
    if (total == 0) return 0.0;
    const double fraction = static_cast<double>(done) / static_cast<double>(total);
    if (!std::isfinite(fraction)) return 0.0;
    return std::clamp(fraction, 0.0, 1.0);
}

void ActiveState::setProgress(std::uint64_t done, std::uint64_t total) {
    change([&](State& state) {
        state.status = IRemoteResource::Downloading;
        state.downloadError = IRemoteResource::NoError;
        state.networkError = {Networking::Error::NotInitialized, ""};
        state.percent = progressFraction(done, total);
        state.done = done;
        state.total = total;
    });
}

void ActiveState::setAvailable() {
    change([](State& state) {
        state.status = IRemoteResource::Available;
        state.downloadError = IRemoteResource::NoError;
        state.networkError = {Networking::Error::NotInitialized, ""};
        state.percent = 1.0;
        state.done = state.total;
    });
}

void ActiveState::setError(Status status, DownloadError error, const Networking::Error& networkError) {
    change([&](State& state) {
        state.status = status;
        state.downloadError = error;
        state.networkError = networkError;
        state.percent = 0.0;
    });
}

void ActiveState::checkAllNotifications() {
    change([](State&) {});
}

// The change and the choice of what to report happen under the lock, so every handler sees the states in the
// order they were made; the reports themselves go through the notification queue, so the thread that made the
// change (a download worker) never runs client code.
template <class Change>
void ActiveState::change(Change&& apply) {
    PendingList pending;
    {
        std::lock_guard lock(m_mutex);
        apply(m_state);
        check(pending);
    }
    for (auto& item : pending)
        m_notificationQueue->addTask([item = std::move(item)] { item.owner->deliver(item); },
                                     Core::PriorityNormal);
}

// A handler hears of every new status it asked for, but of progress within one status only in steps of at least
// its progressStep: a fast download would otherwise queue a report per chunk. The snapshot is what the handler
// last heard, not the previous state, so small steps add up to a report.
void ActiveState::check(PendingList& pending) {
    for (auto& [handler, entry] : m_handlers) {
        if (!entry.params.statuses.count(m_state.status)) continue;
        bool progress = false;
        if (!entry.delivered || entry.snapshot.status != m_state.status) {
            progress = false;
        } else if ((m_state.status == IRemoteResource::Downloading || m_state.status == IRemoteResource::TryAgain) &&
                   entry.params.progressNotifications &&
                   m_state.percent - entry.snapshot.percent >= entry.params.progressStep) {
            progress = true;
        } else {
            continue;
        }
        entry.delivered = true;
        entry.snapshot = m_state;
        pending.push_back(Pending{this, handler, progress, m_state});
    }
    for (auto* parent : m_parents) {
        std::lock_guard lock(parent->m_mutex);  // child before parent, always
        parent->m_children[this] = m_state;
        parent->recomputeFromChildren();
        parent->check(pending);
    }
}

// A bundle reads as its worst member: one failed resource fails it, one waiting for a retry makes it wait, and a
// bundle where some are done and others still run is downloading. Its progress is the plain mean, so every member
// weighs the same whatever its size (sizes are often unknown until a download starts).
void ActiveState::recomputeFromChildren() {
    if (m_children.empty()) return;
    if (m_children.size() == 1) {
        m_state = m_children.begin()->second;
        return;
    }
    double sum = 0.0;
    std::set<int> statuses, errors;
    for (const auto& [child, snapshot] : m_children) {
        sum += snapshot.percent;
        statuses.insert(snapshot.status);
        errors.insert(snapshot.downloadError);
    }
    m_state.percent = sum / static_cast<double>(m_children.size());

    auto all = [](const std::set<int>& values, int value) { return values.size() == 1 && *values.begin() == value; };
    auto any = [](const std::set<int>& values, int value) { return values.count(value) != 0; };

    if (all(statuses, IRemoteResource::Available))
        m_state.status = IRemoteResource::Available;
    else if (any(statuses, IRemoteResource::Error))
        m_state.status = IRemoteResource::Error;
    else if (any(statuses, IRemoteResource::TryAgain))
        m_state.status = IRemoteResource::TryAgain;
    else if (any(statuses, IRemoteResource::Downloading) || any(statuses, IRemoteResource::Available))
        m_state.status = IRemoteResource::Downloading;
    else
        m_state.status = IRemoteResource::Initial;

    if (all(errors, IRemoteResource::NoError))
        m_state.downloadError = IRemoteResource::NoError;
    else if (any(errors, IRemoteResource::Cancelled))
        m_state.downloadError = IRemoteResource::Cancelled;
    else if (any(errors, IRemoteResource::InternetConnectionLost))
        m_state.downloadError = IRemoteResource::InternetConnectionLost;
    else if (any(errors, IRemoteResource::Corrupted))
        m_state.downloadError = IRemoteResource::Corrupted;
    else
        m_state.downloadError = IRemoteResource::GeneralError;
}

// Runs under the state lock: a handler unregistered meanwhile is skipped, and unregistering waits for a report
// that is being delivered. That is also why a handler must not call back into this resource's state.
void ActiveState::deliver(const Pending& pending) {
    std::lock_guard lock(m_mutex);
    auto found = m_handlers.find(pending.handler);
    if (found == m_handlers.end()) return;
    IEventTracer::TraceRecord record = m_traceRecord;
    record.state = &found->second.snapshot;
    if (m_tracer)
        Detail::CallClientCode("Event tracer", [&] {
            m_tracer->trace(pending.progress ? IEventTracer::ProgressNotification : IEventTracer::StatusNotification,
                            record);
        });
    Detail::CallClientCode("Resource event handler", [&] { found->second.callback(pending.state); });
    if (m_tracer)
        Detail::CallClientCode("Event tracer", [&] {
            m_tracer->trace(pending.progress ? IEventTracer::ProgressNotificationEnd
                                             : IEventTracer::StatusNotificationEnd,
                            record);
        });
}

} // namespace Nolvar::App
