#pragma once
// One statistics event: a name and its text parameters.
#include <map>
#include <string>

#include "Tracking/Tallivo/TallivoApi.h"

namespace Nolvar::Tracking::Instant {

struct TALLIVO_API Event {
    using Params = std::map<std::string, std::string>;

    std::string name;
    Params params;

    Event();
    Event(std::string name, Params params);
    Event(const Event& other);
    Event(Event&& other) noexcept;
    Event& operator=(const Event& other);
    Event& operator=(Event&& other) noexcept;
    ~Event();

    bool operator==(const Event& other) const;
};

} // namespace Nolvar::Tracking::Instant
