#include "Tracking/Tallivo/Impl/JsonEventSerializer.h"

#include <glog/logging.h>
#include <nlohmann/json.hpp>

#include "Tracking/Tallivo/Impl/NotNull.h"

namespace Nolvar::Tracking::Instant {

namespace {

using Json = nlohmann::json;

constexpr const char* kBrand = "nolvaria";

Json ToJson(const Event& event) {
    if (event.name.empty()) {
        LOG(WARNING) << "Empty event name";
        return nullptr;
    }
    Json object = Json::object();
    object["name"] = event.name;
    Json params;  // null when there are none
    for (const auto& [key, value] : event.params) params[key] = value;
    object["params"] = std::move(params);
    return object;
}

bool HasNonEmpty(const Json& object, const char* key) {
    const auto it = object.find(key);
    return it != object.end() && !it->empty();
}

bool IsValidEvent(const Json& value) {
    if (!value.is_object() || !HasNonEmpty(value, "name")) return false;
    const auto params = value.find("params");
    return params != value.end() && params->is_object() && HasNonEmpty(*params, "HUID") &&
           HasNonEmpty(*params, "PRODUCT_NAME");
}

} // namespace

JsonEventSerializer::JsonEventSerializer(const Core::Version& version, std::shared_ptr<Time::ISystemClock> clock)
    : m_versionText(Core::Util::VersionToString(version, 0, ".")), m_clock(Detail::NotNull(std::move(clock))) {}

std::string JsonEventSerializer::serialize(const Event& event) const {
    return ToJson(event).dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string JsonEventSerializer::serialize(const std::vector<Event>& events) const {
    Json array;
    for (const Event& event : events) {
        Json object = ToJson(event);
        if (!object.empty()) array.push_back(std::move(object));
    }
    Json envelope = {{"brand", kBrand},
                     {"cur_time", Time::SecondsSinceEpoch(*m_clock)},
                     {"version", m_versionText}};
    envelope["events"] = std::move(array);
    return envelope.dump();
}

std::string JsonEventSerializer::makeBatch(const std::vector<std::string>& texts) const {
    Json kept = Json::array();
    for (const std::string& text : texts) {
        Json value;
        try {
            value = Json::parse(text, nullptr, true, false);
        } catch (const std::exception& e) {
            LOG(WARNING) << "Can't parse serialized event: " << e.what();
            continue;
        }
        if (IsValidEvent(value)) kept.push_back(std::move(value));
    }
    if (kept.empty()) return {};
    Json envelope = {{"brand", kBrand},
                     {"cur_time", Time::SecondsSinceEpoch(*m_clock)},
                     {"version", m_versionText}};
    envelope["events"] = std::move(kept);
    return envelope.dump();
}

} // namespace Nolvar::Tracking::Instant
