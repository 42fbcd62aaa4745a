#pragma once
#include <functional>

#include "Tracking/Tallivo/Impl/IStorage.h"
#include "Tracking/Tallivo/TallivoApi.h"

namespace Nolvar::Tracking::Instant {

class TALLIVO_API SerializedEvents : public ISerializedEvents {
public:
    using Action = std::function<void()>;

    SerializedEvents() = default;
    SerializedEvents(std::vector<std::string> texts, Action commitAction, Action rollbackAction);
    SerializedEvents(const SerializedEvents&) = default;
    SerializedEvents& operator=(const SerializedEvents&) = default;
    // Rolls back when the batch was not committed.
    ~SerializedEvents() override;

    const std::vector<std::string>& get() const override;
    // Runs the commit action once; when it fails the batch stays uncommitted.
    void commit() override;

private:
    std::vector<std::string> m_texts;
    Action m_commitAction;
    Action m_rollbackAction;
};

} // namespace Nolvar::Tracking::Instant
