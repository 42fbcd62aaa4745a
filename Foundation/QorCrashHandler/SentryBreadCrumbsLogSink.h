#pragma once
// Keeps the last log lines of the chosen severities for the crash reports.
#include <deque>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include <glog/logging.h>

namespace Nolvar::CrashHandler {

class SentryBreadCrumbsLogSink : public google::LogSink {
public:
    static constexpr std::size_t kMaxBreadcrumbs = 100;

    // Receives glog's messages of `severities` (0 INFO .. 3 FATAL) from construction until destruction.
    explicit SentryBreadCrumbsLogSink(std::set<int> severities);
    ~SentryBreadCrumbsLogSink() override;
    SentryBreadCrumbsLogSink(const SentryBreadCrumbsLogSink&) = delete;
    SentryBreadCrumbsLogSink& operator=(const SentryBreadCrumbsLogSink&) = delete;

    void send(google::LogSeverity severity, const char* fullFilename, const char* baseFilename, int line,
              const google::LogMessageTime& time, const char* message, size_t messageLength) override;

    // Oldest first. `wait` false gives nothing rather than block (used while the process crashes).
    std::vector<std::string> breadcrumbs(bool wait = true) const;

private:
    const std::set<int> m_severities;
    mutable std::mutex m_mutex;
    std::deque<std::string> m_lines;
};

} // namespace Nolvar::CrashHandler
