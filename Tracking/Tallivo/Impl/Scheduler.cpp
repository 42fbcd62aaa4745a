#include "Tracking/Tallivo/Impl/Scheduler.h"

#include <algorithm>
#include <typeinfo>

#include <glog/logging.h>

#include "QorCrashHandler/TrackException.h"
#include "Tracking/Tallivo/Impl/NotNull.h"
#include "QorNetworking/Error.h"
#include "Tracking/Tallivo/Impl/PutQueue.h"

namespace Nolvar::Tracking::Instant {

namespace {

std::int64_t NextBackoff(std::int64_t backoff) {
    return std::min(std::max<std::int64_t>(2 * backoff, 1), Scheduler::kMaxBackoff);
}

// A failure that is down to the batch, not to the server's availability or load.
enum class BatchFault { None, Refused, TooSlow };

BatchFault FaultOf(const ISender::Response& response) {
    if (response.kind == ISender::ResponseKind::OtherStatus && response.status >= 401 && response.status <= 499)
        return BatchFault::Refused;
    if (response.kind == ISender::ResponseKind::TransportError &&
        (response.networkError == Networking::Error::OperationTimedOut ||
         response.networkError == Networking::Error::NetworkSendFailure))
        return BatchFault::TooSlow;
    return BatchFault::None;
}

} // namespace

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
    m_putQueue.reset();
    m_stopping = true;
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

void Scheduler::doWork() {
    std::string batch;
    std::unique_ptr<ISerializedEvents> pending;
    std::int64_t backoff = 0;
    Wait wait = Wait::ForChange;
    std::size_t batchLimit = kBatchSize;
    int batchFailures = 0;
    const ISender::StopCheck stopCheck = [this] { return m_stopping.load(); };

    // A stop seen before a pass lets that pass run to its end, so it may send one last batch.
    bool lastPass = false;
    for (;;) {
        if (lastPass) return;
        lastPass = !waitForPass(batch.empty() ? wait : Wait::None);
        wait = Wait::ForChange;
        try {
            if (!m_concurrency->tryLock()) {
                // Another process sends; try again soon, also without directory changes.
                wait = Wait::Bounded;
                continue;
            }
            if (batch.empty()) {
                pending = m_storage->pop(batchLimit);
                if (!pending) {
                    LOG(WARNING) << "Scheduler::doWork exception happened inside `m_storage->pop`, retrying";
                    wait = Wait::Bounded;
                    continue;
                }
                if (pending->get().empty()) {
                    pending.reset();
                    continue;
                }
                batch = m_serializer->makeBatch(pending->get());
                if (batch.empty()) {
                    LOG(WARNING) << "Scheduler::doWork no valid json events found, removing invalid events";
                    wait = pending->commit() ? Wait::None : Wait::Bounded;
                    pending.reset();
                    continue;
                }
            }

            const ISender::Response response = m_sender->send(batch, stopCheck);
            const auto settle = [&] {
                // Files that could not be deleted come back in the next pop: do not re-send them at once.
                wait = pending->commit() ? Wait::None : Wait::Bounded;
                pending.reset();
                batch.clear();
                backoff = 0;
                batchFailures = 0;
                batchLimit = std::min(kBatchSize, 2 * batchLimit);  // back to full batches step by step
            };
            switch (response.kind) {
            case ISender::ResponseKind::Ok:
                if (response.answer.disabled) {
                    LOG(INFO) << "Statistics sending is disabled by the server";
                    // What the server took in the same answer is gone from its side: do not send it again.
                    if (response.answer.success) pending->commit();
                    return;
                }
                if (response.answer.success) {
                    settle();
                } else {
                    backoff = NextBackoff(backoff);
                }
                break;
            case ISender::ResponseKind::BadRequest:
                settle();
                break;
            case ISender::ResponseKind::TooManyRequests:
                backoff = response.headers.valid && response.headers.retryAfter >= 1
                              ? std::min(response.headers.retryAfter, ISender::kMaxRetryAfter)
                              : NextBackoff(backoff);
                break;
            default:
                backoff = NextBackoff(backoff);
                break;
            }
            if (const BatchFault fault = FaultOf(response); fault != BatchFault::None && !batch.empty() &&
                                                            ++batchFailures >= kBatchFailuresBeforeSplit) {
                // No event may hold up the others: send fewer at a time, down to the one that fails.
                const std::size_t size = pending->get().size();
                if (size > 1) {
                    batchLimit = std::max<std::size_t>(1, size / 2);
                    LOG(WARNING) << "Statistics batch of " << size << " events failed " << batchFailures
                                 << " times; sending " << batchLimit << " at a time";
                    pending.reset();  // back to the storage for the next pop
                    wait = Wait::None;
                } else if (fault == BatchFault::Refused) {
                    LOG(WARNING) << "Statistics event refused " << batchFailures << " times with status "
                                 << response.status << "; set aside";
                    wait = pending->setAside() ? Wait::None : Wait::Bounded;
                    pending.reset();
                }
                if (!pending) {
                    batch.clear();
                    backoff = 0;
                    batchFailures = 0;
                    continue;
                }
            }
            if (backoff >= 1 && !batch.empty() && !waitBackoff(backoff)) return;
        } catch (const std::exception& e) {
            LOG(WARNING) << "Scheduler::doWork skipped iteration, error: " << e.what();
            Core::TrackException("TallivoException", typeid(e).name());
            pending.reset();
            batch.clear();
            wait = Wait::Bounded;
        }
    }
}

} // namespace Nolvar::Tracking::Instant
