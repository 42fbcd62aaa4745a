#pragma once
// The test prefix's system proxy settings, and a server that accepts connections and never answers: together they
// make a configuration-script lookup that never finishes.
#include <winsock2.h>
#include <windows.h>

#include <cstdint>
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

namespace Detail {
struct SocketTraits {
    using pointer = SOCKET;
    static pointer invalid() noexcept { return INVALID_SOCKET; }
    static bool isValid(pointer socket) noexcept { return socket != INVALID_SOCKET; }
    static void close(pointer socket) noexcept { closesocket(socket); }
};
} // namespace Detail

// A listening socket on 127.0.0.1: the system's backlog takes connections, nothing ever reads or answers them.
class SilentServer {
public:
    SilentServer();
    SilentServer(const SilentServer&) = delete;
    SilentServer& operator=(const SilentServer&) = delete;

    std::string url(const std::string& path) const;

private:
    struct Winsock {
        Winsock();
        ~Winsock();
    } m_winsock;  // first in, last out
    Nolvar::Core::UniqueHandle<Detail::SocketTraits> m_socket;
    std::uint16_t m_port = 0;
};

} // namespace Testing
