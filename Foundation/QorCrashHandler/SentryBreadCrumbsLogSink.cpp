#include "QorCrashHandler/SentryBreadCrumbsLogSink.h"

#include <fmt/format.h>

#include "QorCrashHandler/BreadcrumbRegistry.h"

namespace Nolvar::CrashHandler {

SentryBreadCrumbsLogSink::SentryBreadCrumbsLogSink(std::set<int> severities) : m_severities(std::move(severities)) {
    Detail::RegisterBreadcrumbSource(this);
    google::AddLogSink(this);
}

SentryBreadCrumbsLogSink::~SentryBreadCrumbsLogSink() {
    google::RemoveLogSink(this);
    Detail::UnregisterBreadcrumbSource(this);
}

void SentryBreadCrumbsLogSink::send(google::LogSeverity severity, const char*, const char* baseFilename, int line,
                                    const google::LogMessageTime& time, const char* message, size_t messageLength) {
    if (!m_severities.count(static_cast<int>(severity))) return;
    static constexpr char kLetters[] = "IWEF";
    const char letter = severity >= 0 && severity < 4 ? kLetters[severity] : '?';
    std::string text = fmt::format("{}{:04}-{:02}-{:02} {:02}:{:02}:{:02}.{:06} {}:{}] {}", letter, time.year() + 1900,
                                   time.month() + 1, time.day(), time.hour(), time.min(), time.sec(), time.usec(),
                                   baseFilename, line, std::string_view(message, messageLength));
    std::lock_guard lock(m_mutex);
    m_lines.push_back(std::move(text));
    if (m_lines.size() > kMaxBreadcrumbs) m_lines.pop_front();
}

std::vector<std::string> SentryBreadCrumbsLogSink::breadcrumbs(bool wait) const {
    std::unique_lock lock(m_mutex, std::defer_lock);
    if (wait)
        lock.lock();
    else if (!lock.try_lock())
        return {};
    return {m_lines.begin(), m_lines.end()};
}

} // namespace Nolvar::CrashHandler
