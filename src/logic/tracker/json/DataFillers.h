#pragma once
// The parameters the installer adds to every statistics event. Values are read from the settings at each Fill.
#include <memory>
#include <vector>

#include "logic/tracker/json/IDataFiller.h"

namespace Nolvar {

// "BUNDLE_NAME", "BUNDLE_VERSION".
class BundleInfoFiller final : public IDataFiller {
public:
    void Fill(Tracking::Instant::Event& event) override;
};

// "WI_CONFIG_NAME" ("CONFIG_FROM_INSTALLER" until a configuration names itself).
class ConfigNameFiller final : public IDataFiller {
public:
    void Fill(Tracking::Instant::Event& event) override;
};

// "VERSION" of the installer.
class InstallerVersionFiller final : public IDataFiller {
public:
    void Fill(Tracking::Instant::Event& event) override;
};

// "LANGUAGE": the current UI locale, or the default one when the current locale has no UI texts.
class LocaleFiller final : public IDataFiller {
public:
    void Fill(Tracking::Instant::Event& event) override;
};

// "OS_BITS", "OS_EDITION", "OS_NAME", "OS_VERSION".
class OsInfoFiller final : public IDataFiller {
public:
    void Fill(Tracking::Instant::Event& event) override;
};

// "BUNDLE_ID".
class ProductIdFiller final : public IDataFiller {
public:
    void Fill(Tracking::Instant::Event& event) override;
};

// "PRODUCT_VERSION".
class ProductVersionFiller final : public IDataFiller {
public:
    void Fill(Tracking::Instant::Event& event) override;
};

// "SID": one random UUID per process, the same for every event.
class SidFiller final : public IDataFiller {
public:
    void Fill(Tracking::Instant::Event& event) override;
};

// "WEBUID".
class WebUidFiller final : public IDataFiller {
public:
    void Fill(Tracking::Instant::Event& event) override;
};

// The nine fillers, in the order above.
std::vector<std::unique_ptr<IDataFiller>> CreateDataFillers();

} // namespace Nolvar
