#pragma once
// Collects the glog lines written while it exists (every module of the process shares one glog).
#include <mutex>
#include <string>
#include <vector>

#include <glog/logging.h>

namespace Testing {

class LogCapture final : public google::LogSink {
public:
    struct Line {
        google::LogSeverity severity;
        std::string text;
        std::string file;  // the base name of the source file that wrote it
        int line = 0;
    };

    LogCapture() { google::AddLogSink(this); }
    ~LogCapture() override { google::RemoveLogSink(this); }

    void send(google::LogSeverity severity, const char*, const char* baseFile, int line,
              const google::LogMessageTime&, const char* message, size_t length) override {
        std::lock_guard lock(m_mutex);
        m_lines.push_back({severity, std::string(message, length), baseFile ? baseFile : "", line});
    }

    std::vector<Line> all() const {
        std::lock_guard lock(m_mutex);
        return m_lines;
    }

    // Messages of one severity, in order.
    std::vector<std::string> lines(google::LogSeverity severity = google::GLOG_INFO) const {
        std::vector<std::string> result;
        for (const auto& line : all())
            if (line.severity == severity) result.push_back(line.text);
        return result;
    }

    // Every message, one per line.
    std::string text() const {
        std::string result;
        for (const auto& line : all()) result += line.text + "\n";
        return result;
    }

    bool contains(const std::string& part) const { return text().find(part) != std::string::npos; }
    bool contains(const std::string& part, google::LogSeverity severity) const {
        for (const auto& line : all())
            if (line.severity == severity && line.text.find(part) != std::string::npos) return true;
        return false;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<Line> m_lines;
};

} // namespace Testing
