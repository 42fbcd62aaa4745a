#pragma once
// The texts of the downloaded and the built-in configuration.
#include <cstdint>
#include <string>

#include "QorFilesystem/Path.h"

namespace Nolvar {

// The executable's built-in configuration, its RT_RCDATA resource "IDR_DEFAULT_CFG"; empty when it has none.
std::string LoadBuiltInConfig();

class IConfigDataProvider {
public:
    virtual ~IConfigDataProvider() = default;
    virtual std::string GetConfig() const = 0;
    virtual std::string GetDefaultConfig() const = 0;
};

// Reads the file at `configFile` (empty text when it cannot be read or is larger than kMaxConfigSize) and the
// executable's RT_RCDATA resource "IDR_DEFAULT_CFG" once, at construction.
class ConfigDataProvider : public IConfigDataProvider {
public:
    // Far more than any configuration needs; a larger file is not read into memory.
    static constexpr std::uintmax_t kMaxConfigSize = 4 * 1024 * 1024;

    explicit ConfigDataProvider(const ioPath& configFile);
    std::string GetConfig() const override { return m_config; }
    std::string GetDefaultConfig() const override { return m_default; }

private:
    std::string m_config;
    std::string m_default;
};

} // namespace Nolvar
