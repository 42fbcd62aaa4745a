#pragma once
// Collects the glog lines logged while it exists.
#include <mutex>
#include <string>
#include <vector>

#include <glog/logging.h>

class LogCapture final : public google::LogSink {
public:
    LogCapture() { google::AddLogSink(this); }
    ~LogCapture() override { google::RemoveLogSink(this); }

    void send(google::LogSeverity severity, const char*, const char*, int, const google::LogMessageTime&,
              const char* message, size_t length) override {
        std::lock_guard lock(m_lock);
        m_lines.push_back({severity, std::string(message, length)});
    }

    // Messages of the given severity, in order.
    std::vector<std::string> lines(google::LogSeverity severity = google::GLOG_INFO) const {
        std::lock_guard lock(m_lock);
        std::vector<std::string> result;
        for (const auto& line : m_lines) {
            if (line.severity == severity) result.push_back(line.text);
        }
        return result;
    }

private:
    struct Line {
        google::LogSeverity severity;
        std::string text;
    };
    mutable std::mutex m_lock;
    std::vector<Line> m_lines;
};
