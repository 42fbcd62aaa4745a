#include "Tracking/Tallivo/Impl/Scheduler.h"

#include <algorithm>
#include <typeinfo>
#include <utility>

#include <glog/logging.h>

#include "QorCrashHandler/TrackException.h"
#include "Tracking/Tallivo/Impl/NotNull.h"
#include "Tracking/Tallivo/Impl/PutQueue.h"
#include "Tracking/Tallivo/Impl/RefusalJudge.h"

namespace Nolvar::Tracking::Instant {

namespace {

std::int64_t NextBackoff(std::int64_t backoff) {
    return std::min(std::max<std::int64_t>(2 * backoff, 1), Scheduler::kMaxBackoff);
}

// A batch in flight: its upload text, the stored events it came from and how often the server refused it.
struct Batch {
    std::string text;
    std::unique_ptr<ISerializedEvents> events;
    int refusals = 0;

    bool empty() const { return text.empty(); }
    // Drops the batch; events not committed go back to the storage.
    void clear() { *this = Batch{}; }
};

} // namespace

// What the sender thread keeps from pass to pass.
struct Scheduler::SendState {
    Batch current;  // the batch in flight
    Batch held;     // a refused batch set back while another batch is tried
    std::int64_t backoff = 0;
    Wait wait = Wait::ForChange;
    std::size_t batchLimit = kBatchSize;
    RefusalJudge refusals;
};

Scheduler::Scheduler(std::shared_ptr<ISender> sender, std::shared_ptr<ISerializer> serializer,
                     std::shared_ptr<IStorage> storage, std::shared_ptr<IConcurrency> concurrency,
                     const std::shared_ptr<Core::IDirectoryWatcherFactory>& watcherFactory, bool preventSending,
                     std::chrono::microseconds pollInterval, std::chrono::milliseconds backoffUnit)
    : m_sender(Detail::NotNull(std::move(sender))),
      m_serializer(Detail::NotNull(std::move(serializer))),
      m_storage(Detail::NotNull(std::move(storage))),
      m_concurrency(Detail::NotNull(std::move(concurrency))),
      m_pollInterval(pollInterval),
      m_backoffUnit(backoffUnit) {
    // A failure below unwinds the members built so far: the store thread is joined by its owner.
    m_putQueue = std::make_unique<PutQueue>(m_storage);
    if (preventSending) return;
    if (watcherFactory) {
        try {
            m_watcher = watcherFactory->create(m_storage->getDirectory(), Core::WatchMode::AnyChange,
                                               [this] { onEventAvailable(); });
        } catch (const std::exception& e) {
            LOG(WARNING) << "Can't watch the events directory, polling it instead, error: " << e.what();
        }
    }
    m_worker = std::thread([this] { doWork(); });
}

Scheduler::~Scheduler() {
    // The grace runs while the queue is stored: the whole shutdown stays within the store limit.
    m_uploadDeadline = (Clock::now() + kUploadGrace).time_since_epoch().count();
    m_putQueue.reset();
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_condition.notify_all();
    if (m_worker.joinable()) m_worker.join();
    m_watcher.reset();
}

void Scheduler::put(const Event& event) { m_putQueue->put(event); }

void Scheduler::storeAtExit() {
    if (m_putQueue) m_putQueue->storeAtExit();
}

void Scheduler::onEventAvailable() {
    {
        std::lock_guard lock(m_mutex);
        m_eventAvailable = true;
    }
    m_condition.notify_one();
}

bool Scheduler::waitForPass(Wait wait) {
    std::unique_lock lock(m_mutex);
    const auto woken = [this] { return m_stop || m_eventAvailable; };
    if (!m_watcher) {
        // Polling: every pass, the first too, waits the poll interval.
        if (wait != Wait::None) m_condition.wait_for(lock, m_pollInterval, [this] { return m_stop; });
    } else if (wait == Wait::ForChange) {
        m_condition.wait(lock, woken);
    } else if (wait == Wait::Bounded) {
        m_condition.wait_for(lock, m_pollInterval, woken);
    }
    m_eventAvailable = false;
    return !m_stop;
}

bool Scheduler::waitBackoff(std::int64_t steps) {
    std::unique_lock lock(m_mutex);
    // Only the stop ends a back-off early; directory changes do not.
    m_condition.wait_for(lock, steps * m_backoffUnit, [this] { return m_stop; });
    return !m_stop;
}

bool Scheduler::uploadOverdue() const {
    const Clock::rep deadline = m_uploadDeadline.load();
    return deadline != 0 && Clock::now().time_since_epoch().count() >= deadline;
}

// A stop seen before a pass lets that pass run to its end, so it may send one last batch.
void Scheduler::doWork() {
    SendState state;
    for (bool lastPass = false; !lastPass;) {
        lastPass = !waitForPass(state.current.empty() ? state.wait : Wait::None);
        state.wait = Wait::ForChange;
        try {
            if (runPass(state) == PassEnd::Stop) return;
        } catch (const std::exception& e) {
            LOG(WARNING) << "Scheduler::doWork skipped iteration, error: " << e.what();
            Core::TrackException("TallivoException", typeid(e).name());
            state.current.clear();
            state.held.clear();
            state.wait = Wait::Bounded;
        }
    }
}

Scheduler::PassEnd Scheduler::runPass(SendState& state) {
    if (!m_concurrency->tryLock()) {
        // Another process sends; try again soon, also without directory changes.
        state.wait = Wait::Bounded;
        return PassEnd::Next;
    }
    if (state.current.empty() && !takeBatch(state)) return PassEnd::Next;

    const ISender::Response response = m_sender->send(state.current.text, [this] { return uploadOverdue(); });
    if (response.kind == ISender::ResponseKind::Ok && response.answer.disabled) {
        LOG(INFO) << "Statistics sending is disabled by the server";
        // What the server took in the same answer is gone from its side: do not send it again.
        if (response.answer.success) state.current.events->commit();
        return PassEnd::Stop;
    }
    onResponse(state, response);
    if (state.backoff >= 1 && !waitBackoff(state.backoff)) return PassEnd::Stop;
    return PassEnd::Next;
}

// The next batch from the storage; false when there is none to send now.
bool Scheduler::takeBatch(SendState& state) {
    auto events = m_storage->pop(state.batchLimit);
    if (!events) {
        LOG(WARNING) << "Scheduler::doWork exception happened inside `m_storage->pop`, retrying";
        state.wait = Wait::Bounded;
        return false;
    }
    if (events->get().empty()) return false;
    std::string text = m_serializer->makeBatch(events->get());
    if (text.empty()) {
        LOG(WARNING) << "Scheduler::doWork no valid json events found, removing invalid events";
        state.wait = events->commit() ? Wait::None : Wait::Bounded;
        return false;
    }
    state.current = Batch{std::move(text), std::move(events), 0};
    return true;
}

void Scheduler::onResponse(SendState& state, const ISender::Response& response) {
    switch (response.kind) {
    case ISender::ResponseKind::Ok:
        if (response.answer.success)
            onSettled(state, true);
        else
            state.backoff = NextBackoff(state.backoff);
        return;
    case ISender::ResponseKind::BadRequest:
        onSettled(state, false);
        return;
    case ISender::ResponseKind::TooManyRequests:
        state.backoff = response.headers.valid && response.headers.retryAfter >= 1
                            ? std::min(response.headers.retryAfter, ISender::kMaxRetryAfter)
                            : NextBackoff(state.backoff);
        return;
    default:
        if (IsRefusal(response))
            onRefused(state, response.status);
        else  // time-outs, lost connections, server errors: the server's availability, not the batch's fault
            state.backoff = NextBackoff(state.backoff);
        return;
    }
}

// The server took the batch, or refused it for good (400): its events are deleted.
void Scheduler::onSettled(SendState& state, bool accepted) {
    if (accepted) state.refusals.accepted(state.current.refusals > 0);
    // Files that could not be deleted come back in the next pop: do not re-send them at once.
    state.wait = state.current.events->commit() ? Wait::None : Wait::Bounded;
    state.current = std::exchange(state.held, Batch{});
    state.backoff = 0;
    const bool wasSplit = state.batchLimit < kBatchSize;
    state.batchLimit = std::min(kBatchSize, 2 * state.batchLimit);  // back to full batches step by step
    // Every part of a split batch went through: its refusals are over.
    if (wasSplit && state.batchLimit == kBatchSize) state.refusals.reset();
}

void Scheduler::onRefused(SendState& state, std::int32_t status) {
    state.backoff = NextBackoff(state.backoff);
    if (!state.held.empty()) {
        // The other batch is refused too: the server refuses every batch. Go on with the first one, unsplit.
        state.current = std::exchange(state.held, Batch{});
        return;
    }
    switch (state.refusals.refused(++state.current.refusals, status)) {
    case RefusalJudge::Verdict::Retry: return;
    case RefusalJudge::Verdict::Probe: startProbe(state); return;
    case RefusalJudge::Verdict::Split: split(state, status); return;
    }
}

void Scheduler::startProbe(SendState& state) {
    Batch refused = std::exchange(state.current, Batch{});
    // Its events stay handed out, so the next pop gives others.
    if (takeBatch(state))
        state.held = std::move(refused);
    else
        state.current = std::move(refused);  // nothing else to send: it goes again
}

// No event may hold up the others: send fewer at a time, down to the one that is refused, which is set aside.
void Scheduler::split(SendState& state, std::int32_t status) {
    const std::size_t size = state.current.events->get().size();
    if (size > 1) {
        state.batchLimit = std::max<std::size_t>(1, size / 2);
        LOG(WARNING) << "Statistics batch of " << size << " events refused " << state.current.refusals
                     << " times; sending " << state.batchLimit << " at a time";
        state.wait = Wait::None;
    } else {
        LOG(WARNING) << "Statistics event refused " << state.current.refusals << " times with status " << status
                     << "; set aside";
        state.wait = state.current.events->setAside() ? Wait::None : Wait::Bounded;
        state.refusals.reset();
    }
    state.current.clear();  // events not set aside go back to the storage for the next pop
}

} // namespace Nolvar::Tracking::Instant
