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
#include <vector>

namespace Nolvar::Networking::Detail {

using Clock = std::chrono::steady_clock;

inline std::int64_t Milliseconds(Clock::duration d) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(d).count();
}

inline constexpr std::size_t kReadBufferSize = 1024 * 1024;
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

    explicit Exchange(std::string body) : m_body(std::move(body)), m_buffer(kReadBufferSize) {}

    static void Release(Exchange* exchange) {
        if (exchange->m_references.fetch_sub(1) == 1) delete exchange;
    }
    // WinHTTP will never report the handle closed (its context was not set): only the owner holds it.
    void forgetWinHttpReference() { m_references.fetch_sub(1); }

    char* buffer() { return m_buffer.data(); }
    DWORD bufferSize() const { return static_cast<DWORD>(m_buffer.size()); }
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
            self->complete(status, infoLength, 0);
            break;
        case WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE:
            self->complete(status, info ? *static_cast<DWORD*>(info) : 0, 0);
            break;
        case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
        case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE:
            self->complete(status, 0, 0);
            break;
        case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR:
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
    std::vector<char> m_buffer;
};

} // namespace Nolvar::Networking::Detail
