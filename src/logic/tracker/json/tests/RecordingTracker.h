#pragma once
// A process tracker for tests: records what it is given; can be told to refuse initialisation.
#include <atomic>
#include <mutex>
#include <vector>

#include "QorTracker/IApplicationTracker.h"
#include "Tracking/Tallivo/Event.h"

class RecordingTracker final : public Nolvar::RefCounted<Nolvar::Tracking::IApplicationTracker> {
public:
    std::atomic<bool> acceptInitialize{true};

    bool Initialize(Initializer initializer) override {
        std::lock_guard lock(m_lock);
        m_initializers.push_back(std::move(initializer));
        m_initialized = acceptInitialize.load();
        return m_initialized;
    }
    bool Initialize(const std::string&, const Nolvar::Core::Version&, const std::string&, const std::string&,
                    const std::shared_ptr<Nolvar::App::ILoggerFactory>&) override {
        return false;
    }
    bool Deinitialize() override {
        std::lock_guard lock(m_lock);
        ++m_deinitializations;
        m_initialized = false;
        return true;
    }
    bool IsInitialized() const override {
        std::lock_guard lock(m_lock);
        return m_initialized;
    }
    bool TrackEvent(const std::string& name, const Params& params) override {
        std::lock_guard lock(m_lock);
        if (!m_initialized) return false;
        m_events.emplace_back(name, params);
        return true;
    }
    bool TrackException(const std::string&, const std::string&, const std::string&) override { return false; }

    std::vector<Nolvar::Tracking::Instant::Event> events() const {
        std::lock_guard lock(m_lock);
        return m_events;
    }
    std::vector<Initializer> initializers() const {
        std::lock_guard lock(m_lock);
        return m_initializers;
    }
    int deinitializations() const {
        std::lock_guard lock(m_lock);
        return m_deinitializations;
    }

private:
    mutable std::mutex m_lock;
    bool m_initialized = false;
    int m_deinitializations = 0;
    std::vector<Initializer> m_initializers;
    std::vector<Nolvar::Tracking::Instant::Event> m_events;
};
