#pragma once
// Collects the text of the glog lines written while it exists.
#include <mutex>
#include <string>
#include <vector>

#include <glog/logging.h>

class LogLines : public google::LogSink {
public:
    LogLines() { google::AddLogSink(this); }
    ~LogLines() override { google::RemoveLogSink(this); }

    void send(google::LogSeverity, const char*, const char*, int, const google::LogMessageTime&, const char* message,
              size_t length) override {
        std::lock_guard lock(m_mutex);
        m_text += std::string(message, length) + "\n";
    }

    bool contains(const std::string& part) const {
        std::lock_guard lock(m_mutex);
        return m_text.find(part) != std::string::npos;
    }
    std::string text() const {
        std::lock_guard lock(m_mutex);
        return m_text;
    }

private:
    mutable std::mutex m_mutex;
    std::string m_text;
};
