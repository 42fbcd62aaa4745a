#include "Tracking/Tallivo/Impl/SerializedEvents.h"

#include <glog/logging.h>

namespace Nolvar::Tracking::Instant {

SerializedEvents::SerializedEvents(std::vector<std::string> texts, CommitAction commitAction,
                                   RollbackAction rollbackAction)
    : m_texts(std::move(texts)), m_commitAction(std::move(commitAction)), m_rollbackAction(std::move(rollbackAction)) {}

SerializedEvents::~SerializedEvents() {
    if (!m_commitAction || !m_rollbackAction) return;
    try {
        m_rollbackAction();
    } catch (const std::exception& e) {
        LOG(ERROR) << "~SerializedEvents failed, error: " << e.what();
    }
}

const std::vector<std::string>& SerializedEvents::get() const { return m_texts; }

bool SerializedEvents::commit() {
    if (!m_commitAction) return true;
    try {
        const bool complete = m_commitAction();
        m_commitAction = nullptr;
        return complete;
    } catch (const std::exception& e) {
        LOG(ERROR) << "SerializedEvents::commit failed, error: " << e.what();
        return false;
    }
}

} // namespace Nolvar::Tracking::Instant
