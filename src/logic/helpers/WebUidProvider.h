#pragma once
// Settles the web user id at the start of a run: the first valid id the machine holds, else a new one from the
// web-user-id service, else the machine id; stores it and reports the decision in "WI_NEW_WEBUID".
#include <memory>
#include <string>

#include "QorWebUid/WebUidManager.h"

namespace Nolvar {

class IStatisticsTracker;

struct WebUidRequestInfo {
    std::string app;
    std::string bundleName;
    std::string source;
    std::string version;
};

// The brand the product's older installations kept their ids under.
inline constexpr const char* kOldWebUidBrand = "Nolvar";

// The sub-key under which the product keeps its web user id.
extern const char* const PRODUCT_REGISTRY_KEY;

// Sets Settings::ID::WebUid to the result (also when empty), writes the registry and tracks the events.
// The current brand is the parameters' brand; `oldBrand` the one of older installations.
std::string ProvideWebUid(const std::shared_ptr<IStatisticsTracker>& tracker,
                          const App::WebUidManager::Parameters& parameters, const WebUidRequestInfo& info,
                          const std::string& oldBrand = kOldWebUidBrand);

// Stores the id as REG_SZ "WEBUID" under HKEY_CURRENT_USER\SOFTWARE\<brand>\User ("Nolvaria" for an empty
// brand); true when the key and the value were written.
bool WriteWebUidToRegistry(const std::string& webUid, const std::string& brand);

} // namespace Nolvar
