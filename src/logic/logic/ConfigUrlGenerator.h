#pragma once
// The URL the configuration is downloaded from.
#include <string>

namespace Nolvar {

class IUrlGenerator {
public:
    virtual ~IUrlGenerator() = default;
    virtual std::string Generate(const std::string& webUid) = 0;
};

// A ConfigUrl setting ending in "-TAIL_WITH_ARGS-" loses the marker and gets the installer's identity as query
// parameters (and the result is stored back as ConfigUrl); any other URL is used as it is, and the configuration
// is then named "CONFIG_FROM_STATIC".
class ConfigUrlGenerator : public IUrlGenerator {
public:
    std::string Generate(const std::string& webUid) override;
};

} // namespace Nolvar
