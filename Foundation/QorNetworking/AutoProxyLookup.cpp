#include "QorNetworking/AutoProxyLookup.h"

#include <windows.h>
#include <winhttp.h>

#include <glog/logging.h>

#include <condition_variable>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>

#include "QorNetworking/WinHttpHandle.h"
#include "QorString/Utf.h"

namespace Nolvar::Networking::Detail {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kStopCheckInterval = std::chrono::milliseconds(50);

// Runs on the lookup's own thread; may block for as long as WinHTTP likes.
std::optional<AutoProxyLookup::Answer> LookUp(const AutoProxyLookup::Query& query) {
    UniqueInternetHandle session(
        WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session) return std::nullopt;
    const std::wstring configUrl = Core::WstringFromUtf8(query.autoConfigUrl);
    WINHTTP_AUTOPROXY_OPTIONS options{};
    if (!configUrl.empty()) {
        options.dwFlags |= WINHTTP_AUTOPROXY_CONFIG_URL;
        options.lpszAutoConfigUrl = configUrl.c_str();
    }
    if (query.autoDetect) {
        options.dwFlags |= WINHTTP_AUTOPROXY_AUTO_DETECT;
        options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
    }
    options.fAutoLogonIfChallenged = TRUE;
    WINHTTP_PROXY_INFO info{};
    const std::wstring url = Core::WstringFromUtf8(query.url);
    if (!WinHttpGetProxyForUrl(session.get(), url.c_str(), &options, &info)) {
        VLOG(1) << "Automatic proxy lookup failed with WinHTTP error " << GetLastError()
                << "; using the manual proxy settings";
        return std::nullopt;
    }
    UniqueGlobalText proxy(info.lpszProxy), bypass(info.lpszProxyBypass);
    // A direct answer is an answer too: an empty proxy list.
    if (info.dwAccessType != WINHTTP_ACCESS_TYPE_NAMED_PROXY || !proxy) return AutoProxyLookup::Answer{};
    return AutoProxyLookup::Answer{Utf8(proxy), Utf8(bypass)};
}

} // namespace

struct AutoProxyLookup::Table {
    struct Entry {
        bool finished = false;
        Clock::time_point waitUntil;   // while unfinished: how long callers wait for it
        Clock::time_point reuseUntil;  // once finished: how long its answer serves
        std::optional<Answer> answer;  // nullopt: the lookup failed
        bool reported = false;         // its overrun was logged
    };
    std::mutex mutex;
    std::condition_variable changed;
    std::map<std::string, Entry> entries;
};

AutoProxyLookup::AutoProxyLookup(std::chrono::milliseconds limit, std::chrono::milliseconds reuse)
    : m_table(std::make_shared<Table>()), m_limit(limit), m_reuse(reuse) {}

AutoProxyLookup::~AutoProxyLookup() = default;

std::optional<AutoProxyLookup::Answer> AutoProxyLookup::find(const Query& query, const std::function<bool()>& stop) {
    if (stop && stop()) return std::nullopt;
    const std::string key = query.autoConfigUrl + "|" + (query.autoDetect ? "detect" : "") + "|" + query.hostKey;
    std::unique_lock lock(m_table->mutex);
    auto now = Clock::now();
    auto found = m_table->entries.find(key);
    if (found != m_table->entries.end() && found->second.finished && now >= found->second.reuseUntil) {
        m_table->entries.erase(found);
        found = m_table->entries.end();
    }
    if (found == m_table->entries.end()) {
        found = m_table->entries.emplace(key, Table::Entry{false, now + m_limit, {}, std::nullopt, false}).first;
        try {
            // Detached: it may outlive this object (the table it fills is shared) but never touches anything else.
            std::thread([table = m_table, key, query, reuse = m_reuse] {
                std::optional<Answer> answer = LookUp(query);
                std::lock_guard lock(table->mutex);
                auto& entry = table->entries[key];
                entry.finished = true;
                entry.reuseUntil = Clock::now() + reuse;
                entry.answer = std::move(answer);
                table->changed.notify_all();
            }).detach();
        } catch (const std::system_error& e) {
            LOG(WARNING) << "Automatic proxy lookup not started: " << e.what();
            m_table->entries.erase(found);
            return std::nullopt;
        }
    }
    for (;;) {
        // Looked up again after each wait: another caller may have replaced the entry meanwhile.
        found = m_table->entries.find(key);
        if (found == m_table->entries.end()) return std::nullopt;
        Table::Entry& entry = found->second;
        if (entry.finished) return entry.answer;
        const auto waitUntil = entry.waitUntil;
        now = Clock::now();
        if (now >= waitUntil) {
            if (!entry.reported)
                LOG(WARNING) << "Automatic proxy lookup for " << query.hostKey << " takes longer than "
                             << m_limit.count() << " ms; using the manual proxy settings";
            entry.reported = true;
            return std::nullopt;
        }
        m_table->changed.wait_until(lock, std::min(waitUntil, now + kStopCheckInterval));
        if (stop) {
            lock.unlock();
            const bool stopped = stop();
            lock.lock();
            if (stopped) return std::nullopt;
        }
    }
}

} // namespace Nolvar::Networking::Detail
