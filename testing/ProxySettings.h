#pragma once
// The test prefix's system proxy settings. With a configuration script on a silent server (RawTcpServer) they make
// a configuration-script lookup that never finishes.
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "QorPointer/UniqueHandle.h"

namespace Testing {

// Flags of the connection settings record.
inline constexpr DWORD kDirectConnection = 0x1;
inline constexpr DWORD kManualProxy = 0x2;
inline constexpr DWORD kAutoConfigUrl = 0x4;

// The binary record Windows keeps the current user's proxy settings in.
std::vector<BYTE> ConnectionSettings(DWORD flags, const std::string& proxy, const std::string& bypass,
                                     const std::string& autoConfigUrl);

// Sets the current user's connection settings and puts the previous ones back when it goes. Test programs run side
// by side share the prefix's registry: one scope at a time, across processes. Throws when the settings cannot be
// set.
class ConnectionSettingsScope {
public:
    explicit ConnectionSettingsScope(const std::vector<BYTE>& settings);
    ~ConnectionSettingsScope();
    ConnectionSettingsScope(const ConnectionSettingsScope&) = delete;
    ConnectionSettingsScope& operator=(const ConnectionSettingsScope&) = delete;

private:
    Nolvar::Core::UniqueKernelHandle m_turn;
    std::optional<std::vector<BYTE>> m_previous;
};

} // namespace Testing
