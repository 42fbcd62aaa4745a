#pragma once
// Collects the glog lines written while it exists (the library and the tests share one glog).
#include <mutex>
#include <string>
#include <vector>

#include <glog/logging.h>

class LogCapture : public google::LogSink {
public:
    LogCapture() { google::AddLogSink(this); }
    ~LogCapture() override { google::RemoveLogSink(this); }

    void send(google::LogSeverity severity, const char*, const char*, int, const google::LogMessageTime&,
              const char* message, size_t length) override {
        std::lock_guard lock(m_mutex);
        m_lines.push_back({severity, std::string(message, length)});
    }

    struct Line {
        google::LogSeverity severity;
        std::string text;
    };

    std::vector<Line> lines() const {
        std::lock_guard lock(m_mutex);
        return m_lines;
    }
    bool contains(const std::string& part, google::LogSeverity severity) const {
        for (const auto& line : lines())
            if (line.severity == severity && line.text.find(part) != std::string::npos) return true;
        return false;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<Line> m_lines;
};
