#include "Tracking/Tallivo/Impl/Scheduler.h"

#include <algorithm>
#include <typeinfo>
#include <utility>

#include <glog/logging.h>

#include "QorCrashHandler/TrackException.h"
#include "Tracking/Tallivo/Impl/Batch.h"
#include "Tracking/Tallivo/Impl/NotNull.h"
#include "Tracking/Tallivo/Impl/PutQueue.h"
#include "Tracking/Tallivo/Impl/RefusalJudge.h"

namespace Nolvar::Tracking::Instant {

namespace {

std::int64_t NextBackoff(std::int64_t backoff) {
    return std::min(std::max<std::int64_t>(2 * backoff, 1), Scheduler::kMaxBackoff);
}

} // namespace

// What the sender thread keeps from pass to pass.
struct Scheduler::SendState {
    Batch current;  // the batch in flight
    std::int64_t backoff = 0;
    Wait wait = Wait::ForChange;
    RefusalJudge judge;      // the refused batches and what becomes of them
    bool keptLast = false;   // the batch in flight, or the last one, came from the judge
    bool nothingNew = true;  // the storage had no batch at the last look
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
            state.current = Batch{};  // its events go back to the storage
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
    if (state.current.empty()) {
        const Choice choice = chooseBatch(state);
        if (choice != Choice::Send) return choice == Choice::Stop ? PassEnd::Stop : PassEnd::Next;
    }

    const ISender::Response response = m_sender->send(state.current.text, [this] { return uploadOverdue(); });
    if (response.kind == ISender::ResponseKind::Ok && response.answer.disabled) {
        LOG(INFO) << "Statistics sending is disabled by the server";
        // What the server took in the same answer is gone from its side: do not send it again.
        if (response.answer.success) state.current.events->commit();
        return PassEnd::Stop;
    }
    onResponse(state, response);
    // A batch still in flight goes again after the back-off.
    if (!state.current.empty() && state.backoff >= 1 && !waitBackoff(state.backoff)) return PassEnd::Stop;
    return PassEnd::Next;
}

// Puts the next batch to send in flight. After a refusal every upload waits the back-off, and a batch never sent
// as it is goes first: a part of a refused batch, else the storage's next batch. While the server takes batches,
// the storage's go at once and the judge's every other turn. A refused batch, or a part of one, goes no sooner
// than one back-off unit after the last upload.
Scheduler::Choice Scheduler::chooseBatch(SendState& state) {
    carryOutVerdicts(state);
    const bool settled = state.backoff == 0;  // no refusal since the last batch the server took
    if (!settled && !waitBackoff(state.backoff)) return Choice::Stop;
    const bool keptTurn = settled ? state.judge.keepsAny() && !state.keptLast : state.judge.keepsParts();
    if (!keptTurn && takeNew(state)) return Choice::Send;
    if (state.judge.keepsAny()) {
        if (settled && !waitBackoff(1)) return Choice::Stop;
        // While new events come, the batches they make are sent around an event refused on its own.
        if (takeKept(state, settled && state.nothingNew)) return Choice::Send;
    }
    // None of the kept batches held a valid event.
    if (keptTurn && takeNew(state)) return Choice::Send;
    return Choice::Idle;
}

// The storage's next batch into `current`; false when there is none to send now.
bool Scheduler::takeNew(SendState& state) {
    state.nothingNew = !takeBatch(state);
    state.keptLast = state.keptLast && state.nothingNew;
    return !state.nothingNew;
}

// The refusal judge's next batch into `current`; false when none of its batches holds a valid event.
bool Scheduler::takeKept(SendState& state, bool singleFirst) {
    while (state.judge.keepsAny()) {
        Batch batch = state.judge.next(singleFirst);
        if (prepare(state, batch)) {
            state.current = std::move(batch);
            state.keptLast = true;
            return true;
        }
    }
    return false;
}

// The splits and set-asides the refusal judge decided.
void Scheduler::carryOutVerdicts(SendState& state) {
    for (RefusalJudge::Step step = state.judge.decided(); !step.batch.empty(); step = state.judge.decided()) {
        const RefusalHistory& history = step.batch.history;
        switch (step.verdict) {
        case RefusalJudge::Verdict::Split:
            LOG(WARNING) << "Statistics batch of " << step.batch.size() << " events refused with status "
                         << history.lastStatus << "; sending its events one by one";
            state.judge.parts(std::move(step.batch).split(1));
            break;
        case RefusalJudge::Verdict::SetAside:
            LOG(WARNING) << "Statistics event refused " << history.refusals << " times with status "
                         << history.lastStatus << " while the server took " << history.othersTaken
                         << " other new batches and refused " << history.othersRefused << "; set aside";
            if (!step.batch.events->setAside()) state.wait = Wait::Bounded;
            break;
        case RefusalJudge::Verdict::Retry:
            break;
        }
    }
}

// The storage's next batch into `current`; false when there is none to send now.
bool Scheduler::takeBatch(SendState& state) {
    // Batches without a valid event are deleted on the way; one that cannot be deleted ends the reading for now.
    while (state.wait != Wait::Bounded) {
        auto events = m_storage->pop(kBatchSize);
        if (!events) {
            LOG(WARNING) << "Scheduler::doWork exception happened inside `m_storage->pop`, retrying";
            state.wait = Wait::Bounded;
        } else if (events->get().empty()) {
            return false;
        } else if (Batch batch{{}, std::move(events), {}}; prepare(state, batch)) {
            state.current = std::move(batch);
            return true;
        }
    }
    return false;
}

// Builds the upload text of `batch` when it has none; false when none of its events is valid (they are deleted).
bool Scheduler::prepare(SendState& state, Batch& batch) {
    if (!batch.text.empty()) return true;
    batch.text = m_serializer->makeBatch(batch.events->get());
    if (!batch.text.empty()) return true;
    LOG(WARNING) << "Scheduler::doWork no valid json events found, removing invalid events";
    // Files that could not be deleted come back in a later pop: not at once.
    if (!batch.events->commit()) state.wait = Wait::Bounded;
    return false;
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
    if (accepted) state.judge.accepted(state.current.history);
    // Files that could not be deleted come back in the next pop: do not re-send them at once.
    state.wait = state.current.events->commit() ? Wait::None : Wait::Bounded;
    state.current = Batch{};
    state.backoff = 0;
}

// The judge keeps the refused batch; the next pass sends what it says, or the storage's next batch.
void Scheduler::onRefused(SendState& state, std::int32_t status) {
    state.backoff = NextBackoff(state.backoff);
    state.judge.refused(std::exchange(state.current, Batch{}), status);
    state.wait = Wait::None;
}

} // namespace Nolvar::Tracking::Instant
