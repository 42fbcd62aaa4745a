#pragma once
#include <functional>

#include "Tracking/Tallivo/Impl/IStorage.h"
#include "Tracking/Tallivo/TallivoApi.h"

namespace Nolvar::Tracking::Instant {

class TALLIVO_API SerializedEvents : public ISerializedEvents {
public:
    // Returns true when every file was deleted.
    using CommitAction = std::function<bool()>;
    using RollbackAction = std::function<void()>;

    SerializedEvents() = default;
    SerializedEvents(std::vector<std::string> texts, CommitAction commitAction, RollbackAction rollbackAction);
    SerializedEvents(const SerializedEvents&) = default;
    SerializedEvents& operator=(const SerializedEvents&) = default;
    // Rolls back when the batch was not committed.
    ~SerializedEvents() override;

    const std::vector<std::string>& get() const override;
    // Runs the commit action once; when it throws the batch stays uncommitted.
    bool commit() override;

private:
    std::vector<std::string> m_texts;
    CommitAction m_commitAction;
    RollbackAction m_rollbackAction;
};

} // namespace Nolvar::Tracking::Instant
