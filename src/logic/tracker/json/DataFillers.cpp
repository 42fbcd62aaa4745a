#include "logic/tracker/json/DataFillers.h"

#include <algorithm>
#include <string>

#include <boost/uuid/random_generator.hpp>
#include <boost/uuid/uuid_io.hpp>

#include "utils/Settings.h"
#include "utils/Localization.h"
#include "utils/SystemFacts.h"

namespace Nolvar {

namespace {

void AddIfMissing(Tracking::Instant::Event& event, const std::string& key, const std::string& value) {
    event.params.emplace(key, value);
}

void AddSetting(Tracking::Instant::Event& event, const std::string& key, Settings::ID id,
                const std::string& fallback = {}) {
    if (event.params.count(key)) return;
    event.params.emplace(key, Settings::GetString(id, fallback));
}

const std::string& ProcessSid() {
    static const std::string sid = boost::uuids::to_string(boost::uuids::random_generator()());
    return sid;
}

} // namespace

void BundleInfoFiller::Fill(Tracking::Instant::Event& event) {
    AddSetting(event, "BUNDLE_NAME", Settings::ID::BundleName);
    AddSetting(event, "BUNDLE_VERSION", Settings::ID::BundleVersion);
}

void ConfigNameFiller::Fill(Tracking::Instant::Event& event) {
    AddSetting(event, "WI_CONFIG_NAME", Settings::ID::ConfigName, "CONFIG_FROM_INSTALLER");
}

void InstallerVersionFiller::Fill(Tracking::Instant::Event& event) {
    AddSetting(event, "VERSION", Settings::ID::InstallerVersion, "1.0.0.0");
}

void LocaleFiller::Fill(Tracking::Instant::Event& event) {
    if (event.params.count("LANGUAGE")) return;
    const auto available = AvailableLocales();
    const auto current = GetCurrentLocale();
    const bool known = std::find(available.begin(), available.end(), current) != available.end();
    AddIfMissing(event, "LANGUAGE", known ? current : DefaultLocale());
}

void OsInfoFiller::Fill(Tracking::Instant::Event& event) {
    if (!event.params.count("OS_BITS")) AddIfMissing(event, "OS_BITS", GetOsBits());
    if (!event.params.count("OS_EDITION")) AddIfMissing(event, "OS_EDITION", GetOsEdition());
    if (!event.params.count("OS_NAME")) AddIfMissing(event, "OS_NAME", GetOsName());
    if (!event.params.count("OS_VERSION")) AddIfMissing(event, "OS_VERSION", GetOsVersion());
}

void ProductIdFiller::Fill(Tracking::Instant::Event& event) {
    AddSetting(event, "BUNDLE_ID", Settings::ID::ProductId);
}

void ProductVersionFiller::Fill(Tracking::Instant::Event& event) {
    AddSetting(event, "PRODUCT_VERSION", Settings::ID::ProductVersion, "1.0.0.0");
}

void SidFiller::Fill(Tracking::Instant::Event& event) {
    AddIfMissing(event, "SID", ProcessSid());
}

void WebUidFiller::Fill(Tracking::Instant::Event& event) {
    AddSetting(event, "WEBUID", Settings::ID::WebUid);
}

std::vector<std::unique_ptr<IDataFiller>> CreateDataFillers() {
    std::vector<std::unique_ptr<IDataFiller>> fillers;
    fillers.push_back(std::make_unique<BundleInfoFiller>());
    fillers.push_back(std::make_unique<ConfigNameFiller>());
    fillers.push_back(std::make_unique<InstallerVersionFiller>());
    fillers.push_back(std::make_unique<LocaleFiller>());
    fillers.push_back(std::make_unique<OsInfoFiller>());
    fillers.push_back(std::make_unique<ProductIdFiller>());
    fillers.push_back(std::make_unique<ProductVersionFiller>());
    fillers.push_back(std::make_unique<SidFiller>());
    fillers.push_back(std::make_unique<WebUidFiller>());
    return fillers;
}

} // namespace Nolvar
