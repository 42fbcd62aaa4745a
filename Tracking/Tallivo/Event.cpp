#include "Tracking/Tallivo/Event.h"

#include <utility>

namespace Nolvar::Tracking::Instant {

Event::Event() = default;
Event::Event(std::string name, Params params) : name(std::move(name)), params(std::move(params)) {}
Event::Event(const Event& other) = default;
Event::Event(Event&& other) noexcept : name(std::move(other.name)), params(std::exchange(other.params, {})) {}
Event& Event::operator=(const Event& other) = default;

Event& Event::operator=(Event&& other) noexcept {
    name = std::move(other.name);
    params = std::exchange(other.params, {});
    return *this;
}

Event::~Event() = default;

bool Event::operator==(const Event& other) const { return name == other.name && params == other.params; }

} // namespace Nolvar::Tracking::Instant
