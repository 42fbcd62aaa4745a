#pragma once
// What the configuration parser reports to the installer logic, on the thread that runs the parse.
#include <string>

#include "logic/logic/ValidationErrors.h"
#include "logic/logic/InstallerItem.h"

namespace Nolvar {

class IConfigParserObserver {
public:
    virtual ~IConfigParserObserver() = default;
    virtual void OnConfigName(const std::string& name) = 0;
    // The observer takes the item over.
    virtual void OnInstallerFound(InstallerItem item) = 0;
    // Screen 1 "start", 4 "progress", 5 "wait", 6 "ready"; the URL after the staging rewrite.
    virtual void OnSplashImage(int screen, const std::string& url) = 0;
    virtual void OnStatisticsSettings(const std::string& url, const std::string& id,
                                      const std::string& targetApplicationId) = 0;
    // A document was accepted and read; errors hold at most ConfigChanged.
    virtual void OnConfigLoaded(const ValidationErrorMap& errors) = 0;
    // The downloaded document was rejected (before the built-in one is read).
    virtual void OnConfigInvalid(const ValidationErrorMap& errors) = 0;
    // The built-in document was rejected too.
    virtual void OnDefaultConfigFailed() = 0;
    // Last call of an accepted parse.
    virtual void OnConfigParsed() = 0;
};

} // namespace Nolvar
