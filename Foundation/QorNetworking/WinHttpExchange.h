#pragma once
// The state WinHTTP's callback thread and the requesting thread share for one asynchronous request handle.
#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "QorNetworking/BodyBatches.h"

namespace Nolvar::Networking::Detail {

using Clock = std::chrono::steady_clock;

inline std::int64_t Milliseconds(Clock::duration d) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(d).count();
}

// How often a waiting request looks at its stop predicate and time limits.
inline constexpr auto kPollInterval = std::chrono::milliseconds(50);

// A lock with a condition variable, both Windows' own (futex-fast under Wine too, unlike winpthreads').
class Monitor {
public:
    void lock() { AcquireSRWLockExclusive(&m_lock); }
    void unlock() { ReleaseSRWLockExclusive(&m_lock); }
    void notifyAll() { WakeAllConditionVariable(&m_condition); }

    // With the lock held: waits until ready() or the time is up; returns ready().
    template <typename Ready>
    bool waitFor(Clock::duration limit, Ready&& ready) {
        const auto deadline = Clock::now() + limit;
        while (!ready()) {
            auto left = Milliseconds(deadline - Clock::now());
            if (left <= 0) return ready();
            SleepConditionVariableSRW(&m_condition, &m_lock, static_cast<DWORD>(std::min<std::int64_t>(left, 60'000)), 0);
        }
        return true;
    }

private:
    SRWLOCK m_lock = SRWLOCK_INIT;
    CONDITION_VARIABLE m_condition = CONDITION_VARIABLE_INIT;
};

// What WinHTTP's callback thread and the requesting thread share for one request handle. It lives until both
// have let go: the requesting thread when it is done with the handle, WinHTTP when it reports the handle closed,
// so a completion that arrives after a cancelled request has returned still finds its buffer.
class Exchange {
public:
    enum class Wait { Completed, Stopped, TimedOut };

    explicit Exchange(std::string body) : m_body(std::move(body)) {}

    static void Release(Exchange* exchange) {
        if (exchange->m_references.fetch_sub(1) == 1) delete exchange;
    }
    // WinHTTP will never report the handle closed (its context was not set): only the owner holds it.
    void forgetWinHttpReference() { m_references.fetch_sub(1); }

    std::string& body() { return m_body; }

    // Called before each asynchronous WinHTTP operation is started.
    void expectCompletion() {
        std::lock_guard lock(m_monitor);
        m_done = false;
        m_status = 0;
        m_bytes = 0;
        m_error = 0;
    }

    DWORD status() const { return m_status; }
    DWORD bytes() const { return m_bytes; }
    DWORD error() const { return m_error; }
    DWORD secureFailureFlags() const { return m_secureFailureFlags.load(); }
    Clock::duration connectTime() const { return Clock::duration(m_connectTicks.load()); }
    // When the connection now being made was started; nullopt when none is being made.
    std::optional<Clock::time_point> connectingSince() const {
        auto start = m_connectStart.load();
        if (start == 0) return std::nullopt;
        return Clock::time_point(Clock::duration(start));
    }

    // Waits for the pending operation; check() is called every kPollInterval and ends the wait with its answer.
    template <typename Check>
    Wait wait(Check&& check) {
        for (;;) {
            {
                std::lock_guard lock(m_monitor);
                if (m_monitor.waitFor(kPollInterval, [&] { return m_done; })) return Wait::Completed;
            }
            if (std::optional<Wait> verdict = check()) {
                std::lock_guard lock(m_monitor);
                return m_done ? Wait::Completed : *verdict;
            }
        }
    }

    // The body pump: WinHTTP's callbacks query and read in turn into a batch the requesting thread takes; a full
    // batch pauses them until its buffer comes back.
    struct Batch {
        BodyBatches::Batch data;
        bool ended = false;  // the body is complete and every byte of it taken
        DWORD error = 0;     // a read or query failed, and every byte read before it taken
    };

    // Starts the pump; `request` is the handle the callbacks issue operations on.
    void startPump(HINTERNET request) {
        m_pumpHandle.store(request);
        drive(Action::Query);
    }

    // Waits until a batch is full, the body has ended or failed, or `limit` has passed; takes the full batch,
    // else what has been read so far.
    Batch takeBatch(Clock::duration limit) {
        Batch batch;
        std::lock_guard lock(m_monitor);
        m_monitor.waitFor(limit, [&] { return m_batches.full() || m_ended || m_pumpError != 0; });
        batch.data = m_batches.take(!m_readPending);
        const bool drained = m_batches.empty();
        batch.ended = m_ended && drained;
        batch.error = drained ? m_pumpError : 0;
        return batch;
    }

    // A batch takeBatch gave, once delivered: its buffer is filled again. Resumes a pump that waited for it.
    void giveBack(BodyBatches::Batch batch) {
        bool resume = false;
        {
            std::lock_guard lock(m_monitor);
            resume = m_batches.giveBack(std::move(batch)) && !m_ended && m_pumpError == 0;
        }
        if (resume) drive(Action::Query);
    }

    // Before the handle is closed: no operation is issued on it from now on.
    void stopIssuing() {
        AcquireSRWLockExclusive(&m_issueLock);
        m_closing = true;
        ReleaseSRWLockExclusive(&m_issueLock);
    }

    void waitClosed(Clock::duration limit) {
        std::lock_guard lock(m_monitor);
        m_monitor.waitFor(limit, [&] { return m_closed; });
    }

    // The notifications OnStatus handles. Leaving out the rest matters: WinHTTP reports "receiving" and
    // "received" around every socket read (8 KiB under Wine), twice per read the body is made of.
    static constexpr DWORD kNotifications =
        WINHTTP_CALLBACK_FLAG_RESOLVE_NAME | WINHTTP_CALLBACK_FLAG_CONNECT_TO_SERVER |
        WINHTTP_CALLBACK_FLAG_SECURE_FAILURE | WINHTTP_CALLBACK_FLAG_SENDREQUEST_COMPLETE |
        WINHTTP_CALLBACK_FLAG_HEADERS_AVAILABLE | WINHTTP_CALLBACK_FLAG_DATA_AVAILABLE |
        WINHTTP_CALLBACK_FLAG_READ_COMPLETE | WINHTTP_CALLBACK_FLAG_REQUEST_ERROR | WINHTTP_CALLBACK_FLAG_HANDLES;

    static void CALLBACK OnStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info, DWORD infoLength) {
        auto* self = reinterpret_cast<Exchange*>(context);
        if (!self) return;
        switch (status) {
        case WINHTTP_CALLBACK_STATUS_RESOLVING_NAME:
        case WINHTTP_CALLBACK_STATUS_CONNECTING_TO_SERVER:
            if (self->m_connectStart.load() == 0) self->m_connectStart = Clock::now().time_since_epoch().count();
            break;
        case WINHTTP_CALLBACK_STATUS_CONNECTED_TO_SERVER:
            if (auto start = self->m_connectStart.exchange(0); start != 0)
                self->m_connectTicks += Clock::now().time_since_epoch().count() - start;
            break;
        case WINHTTP_CALLBACK_STATUS_SECURE_FAILURE:
            if (info && infoLength >= sizeof(DWORD)) self->m_secureFailureFlags = *static_cast<DWORD*>(info);
            break;
        case WINHTTP_CALLBACK_STATUS_READ_COMPLETE:
            if (self->m_pumpHandle.load())
                self->onRead(infoLength);
            else
                self->complete(status, infoLength, 0);
            break;
        case WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE:
            if (self->m_pumpHandle.load())
                self->onAvailable(info ? *static_cast<DWORD*>(info) : 0);
            else
                self->complete(status, info ? *static_cast<DWORD*>(info) : 0, 0);
            break;
        case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
        case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE:
            self->complete(status, 0, 0);
            break;
        case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR:
            if (self->m_pumpHandle.load()) {
                self->pumpFailed(info ? static_cast<WINHTTP_ASYNC_RESULT*>(info)->dwError : ERROR_WINHTTP_INTERNAL_ERROR);
                break;
            }
            self->complete(status, 0, info ? static_cast<WINHTTP_ASYNC_RESULT*>(info)->dwError : ERROR_WINHTTP_INTERNAL_ERROR);
            break;
        case WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING: {
            {
                std::lock_guard lock(self->m_monitor);
                self->m_closed = true;
            }
            self->m_monitor.notifyAll();
            Release(self);
            break;
        }
        default:
            break;
        }
    }

private:
    ~Exchange() = default;

    enum class Action { None, Query, Read };

    void onAvailable(DWORD n) {
        {
            std::lock_guard lock(m_monitor);
            if (n == 0) m_ended = true;
            else m_announced = n;
        }
        if (n == 0) {
            m_monitor.notifyAll();
            return;
        }
        drive(Action::Read);
    }

    void onRead(DWORD n) {
        bool full = false;
        {
            std::lock_guard lock(m_monitor);
            m_readPending = false;
            if (n == 0)
                m_ended = true;
            else
                full = m_batches.commit(n);
        }
        if (full || n == 0) {
            m_monitor.notifyAll();
            return;
        }
        drive(Action::Query);
    }

    void pumpFailed(DWORD error) {
        {
            std::lock_guard lock(m_monitor);
            m_readPending = false;
            m_pumpError = error ? error : ERROR_WINHTTP_INTERNAL_ERROR;
        }
        m_monitor.notifyAll();
    }

    // Issues `action`; a completion reported inside the call (or while this loop runs) leaves its next action
    // here instead of issuing it from deeper in the stack.
    void drive(Action action) {
        {
            std::lock_guard lock(m_monitor);
            if (m_driving) {
                m_nextAction = action;
                return;
            }
            m_driving = true;
        }
        for (;;) {
            DWORD failed = issue(action);
            if (failed != 0) pumpFailed(failed);
            std::lock_guard lock(m_monitor);
            action = failed != 0 ? Action::None : m_nextAction;
            m_nextAction = Action::None;
            if (action == Action::None) {
                m_driving = false;
                return;
            }
        }
    }

    // Starts one operation on the pump's handle unless it is being closed; the error when it could not start.
    DWORD issue(Action action) {
        char* into = nullptr;
        DWORD n = 0;
        if (action == Action::Read) {
            std::lock_guard lock(m_monitor);
            n = m_announced;
            into = m_batches.reserve(n);
            m_readPending = true;
        }
        DWORD error = 0;
        AcquireSRWLockExclusive(&m_issueLock);
        if (!m_closing) {
            BOOL ok = action == Action::Read ? WinHttpReadData(m_pumpHandle.load(), into, n, nullptr)
                                             : WinHttpQueryDataAvailable(m_pumpHandle.load(), nullptr);
            if (!ok) error = GetLastError();
        }
        ReleaseSRWLockExclusive(&m_issueLock);
        return error;
    }

    void complete(DWORD status, DWORD bytes, DWORD error) {
        {
            std::lock_guard lock(m_monitor);
            if (m_done) return;  // an error after a cancelled operation: the first answer counts
            m_done = true;
            m_status = status;
            m_bytes = bytes;
            m_error = error;
        }
        m_monitor.notifyAll();
    }

    std::atomic<int> m_references{2};  // the requesting thread and WinHTTP
    Monitor m_monitor;
    bool m_done = false;
    bool m_closed = false;
    DWORD m_status = 0;
    DWORD m_bytes = 0;
    DWORD m_error = 0;
    std::atomic<DWORD> m_secureFailureFlags{0};
    std::atomic<Clock::rep> m_connectStart{0};
    std::atomic<Clock::rep> m_connectTicks{0};
    std::string m_body;
    // The pump, guarded by m_monitor; m_issueLock is held while an operation is issued and before closing.
    std::atomic<HINTERNET> m_pumpHandle{nullptr};
    SRWLOCK m_issueLock = SRWLOCK_INIT;
    bool m_closing = false;
    bool m_driving = false;
    Action m_nextAction = Action::None;
    BodyBatches m_batches;
    DWORD m_announced = 0;
    bool m_readPending = false;
    bool m_ended = false;
    DWORD m_pumpError = 0;
};

} // namespace Nolvar::Networking::Detail
