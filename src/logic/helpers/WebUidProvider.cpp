#include "logic/helpers/WebUidProvider.h"

#include <map>
#include <set>
#include <utility>

#include <glog/logging.h>

#include "logic/tracker/json/IStatisticsTracker.h"
#include "utils/Settings.h"
#include "utils/UrlUtils.h"

#ifndef NETSETTER_PRODUCT_REGISTRY_KEY
#define NETSETTER_PRODUCT_REGISTRY_KEY "Netsetter"
#endif

namespace Nolvar {

const char* const PRODUCT_REGISTRY_KEY = NETSETTER_PRODUCT_REGISTRY_KEY;

namespace {

using Params = std::map<std::string, std::string>;

constexpr const char* kNotValidPrefix = "NOT_VALID_";

class WebUidDecision {
public:
    WebUidDecision(std::shared_ptr<IStatisticsTracker> tracker, App::WebUidManager& manager)
        : m_tracker(std::move(tracker)), m_manager(manager) {}

    void trackMetrics(bool evenWhenEmpty = false) {
        const auto info = m_manager.getLastConnectionInfo();
        if (info.empty() && !evenWhenEmpty) return;
        track("CONNECTION_METRICS", getConnectionMetricsParams(info));
    }

    void track(const std::string& name, Params params) {
        if (m_tracker) m_tracker->TrackEvent(Tracking::Instant::Event(name, std::move(params)));
    }

    void seedCache() {
        if (const auto userWebUid = m_manager.getUserWebUid(); !userWebUid.empty()) {
            m_validity[userWebUid] = true;
        } else if (const auto stored = m_manager.getWebUidFromRegistryKey(App::WebUidManager::kUserSubKey, {});
                   !stored.empty()) {
            m_validity[stored] = false;
        }
    }

    void evaluate(const std::string& source, const std::string& candidate) {
        bool valid;
        if (const auto cached = m_validity.find(candidate); cached != m_validity.end()) {
            valid = cached->second;
        } else {
            valid = m_manager.isValidWebUid(candidate);
            m_validity[candidate] = valid;
            trackMetrics();
        }
        if (valid) {
            if (m_result.empty()) m_result = candidate;
            if (candidate != m_result) {
                m_mergeSet.insert(candidate);
                LOG(INFO) << "Found webuid " << source << ", value = " << candidate;
            }
        }
        m_params[source] = valid ? candidate : kNotValidPrefix + candidate;
    }

    std::string& result() { return m_result; }
    Params& params() { return m_params; }
    const std::set<std::string>& mergeSet() const { return m_mergeSet; }

private:
    std::shared_ptr<IStatisticsTracker> m_tracker;
    App::WebUidManager& m_manager;
    std::map<std::string, bool> m_validity;
    std::set<std::string> m_mergeSet;
    Params m_params;
    std::string m_result;
};

} // namespace

std::string ProvideWebUid(const std::shared_ptr<IStatisticsTracker>& tracker,
                          const App::WebUidManager::Parameters& parameters, const WebUidRequestInfo& info,
                          const std::string& oldBrand) {
    App::WebUidManager manager(parameters);
    WebUidDecision decision(tracker, manager);
    decision.trackMetrics();
    decision.seedCache();

    const std::pair<const char*, std::string> candidates[] = {
        {"REG_USER_OLD_BRAND_WEBUID", manager.getWebUidFromRegistryKey(App::WebUidManager::kUserSubKey, oldBrand)},
        {"REG_USER_WEBUID", manager.getUserWebUid()},
        {"REG_PRODUCT_OLD_BRAND_WEBUID", manager.getWebUidFromRegistryKey(PRODUCT_REGISTRY_KEY, oldBrand)},
        {"REG_PRODUCT_WEBUID", manager.getWebUidFromRegistryKey(PRODUCT_REGISTRY_KEY, {})},
        {"FILE_WEBUID", Settings::GetString(Settings::ID::WebUid, "")},
    };
    for (const auto& [source, candidate] : candidates) decision.evaluate(source, candidate);

    auto& result = decision.result();
    auto& params = decision.params();
    if (result.empty()) {
        result = manager.requestWebUid({{"app", info.app},
                                        {"bundle_name", info.bundleName},
                                        {"source", info.source},
                                        {"version", info.version}});
        decision.trackMetrics(true);
        if (!result.empty()) {
            params["API_WEBUID"] = result;
            LOG(INFO) << "Registry and filename webuids are not valid, using API_WEBUID instead, value = " << result;
        }
    }

    std::string mergeResult = "not attempted";
    if (result.empty()) {
        result = Settings::GetString(Settings::ID::HardwareId, "");
        if (!result.empty()) {
            LOG(INFO) << "Extracted WebUid value is invalid or server is unreachable. Using HardwareUid as WebUid";
        } else {
            LOG(INFO) << "Extracted WebUid value is invalid or server is unreachable, HardwareUid generation failed. "
                      << "Proceeding with empty WebUid";
        }
    } else {
        if (manager.getUserWebUid() != result && !WriteWebUidToRegistry(result, parameters.brand)) {
            LOG(INFO) << "Error writing webuid to USER registry key, webuid = " << result;
        }
        if (!manager.getWebUidFromRegistryKey(App::WebUidManager::kUserSubKey, oldBrand).empty() &&
            params["REG_USER_OLD_BRAND_WEBUID"].find(kNotValidPrefix) != std::string::npos) {
            WriteWebUidToRegistry(result, oldBrand);
        }
        if (!decision.mergeSet().empty()) {
            const bool merged = manager.concatenateWebUids(result, decision.mergeSet());
            decision.trackMetrics();
            mergeResult = merged ? "success" : "fail";
        }
    }

    params["MERGE_WEBUID_RESULT"] = mergeResult;
    Settings::Set(Settings::ID::WebUid, std::any(result));
    decision.track("WI_NEW_WEBUID", params);
    return result;
}

} // namespace Nolvar
