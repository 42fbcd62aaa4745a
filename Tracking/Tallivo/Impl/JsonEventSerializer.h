#pragma once
#include <memory>

#include "QorTime/Clock.h"
#include "QorVersion/Version.h"
#include "Tracking/Tallivo/Impl/ISerializer.h"
#include "Tracking/Tallivo/TallivoApi.h"

namespace Nolvar::Tracking::Instant {

// Events as compact JSON with sorted keys; the batch envelope carries brand, time of building and version.
class TALLIVO_API JsonEventSerializer : public ISerializer {
public:
    JsonEventSerializer(const Core::Version& version, std::shared_ptr<Time::ISystemClock> clock);
    JsonEventSerializer(const JsonEventSerializer&) = default;
    JsonEventSerializer(JsonEventSerializer&&) = default;
    JsonEventSerializer& operator=(const JsonEventSerializer&) = default;
    JsonEventSerializer& operator=(JsonEventSerializer&&) = default;

    std::string serialize(const Event& event) const override;
    std::string serialize(const std::vector<Event>& events) const override;
    std::string makeBatch(const std::vector<std::string>& texts) const override;

private:
    std::string m_versionText;
    std::shared_ptr<Time::ISystemClock> m_clock;
};

} // namespace Nolvar::Tracking::Instant
