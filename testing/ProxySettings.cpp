#include "testing/ProxySettings.h"

#include <stdexcept>

namespace Testing {
namespace {

const wchar_t kConnections[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";
const wchar_t kSettings[] = L"DefaultConnectionSettings";
// Waiting for another program's scope: its test may take its time under load.
constexpr DWORD kTurnWait = 120'000;

} // namespace

std::vector<BYTE> ConnectionSettings(DWORD flags, const std::string& proxy, const std::string& bypass,
                                     const std::string& autoConfigUrl) {
    std::vector<BYTE> data;
    auto putDword = [&](DWORD value) {
        data.insert(data.end(), reinterpret_cast<BYTE*>(&value), reinterpret_cast<BYTE*>(&value) + 4);
    };
    auto putText = [&](const std::string& text) {
        putDword(static_cast<DWORD>(text.size()));
        data.insert(data.end(), text.begin(), text.end());
    };
    putDword(0x46);
    putDword(1);
    putDword(flags);
    putText(proxy);
    putText(bypass);
    putText(autoConfigUrl);
    data.resize(data.size() + 32, 0);
    return data;
}

ConnectionSettingsScope::ConnectionSettingsScope(const std::vector<BYTE>& settings)
    : m_turn(CreateMutexW(nullptr, FALSE, L"NetsetterTestConnectionSettings")) {
    if (!m_turn) throw std::runtime_error("no connection settings mutex, error " + std::to_string(GetLastError()));
    const DWORD waited = WaitForSingleObject(m_turn.get(), kTurnWait);
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED)
        throw std::runtime_error("another test program keeps the connection settings");
    DWORD size = 0;
    if (RegGetValueW(HKEY_CURRENT_USER, kConnections, kSettings, RRF_RT_REG_BINARY, nullptr, nullptr, &size) ==
        ERROR_SUCCESS) {
        m_previous.emplace(size);
        if (RegGetValueW(HKEY_CURRENT_USER, kConnections, kSettings, RRF_RT_REG_BINARY, nullptr, m_previous->data(),
                         &size) != ERROR_SUCCESS)
            m_previous.reset();
    }
    const LSTATUS set = RegSetKeyValueW(HKEY_CURRENT_USER, kConnections, kSettings, REG_BINARY, settings.data(),
                                        static_cast<DWORD>(settings.size()));
    if (set != ERROR_SUCCESS) {
        ReleaseMutex(m_turn.get());
        throw std::runtime_error("cannot set the connection settings, error " + std::to_string(set));
    }
}

ConnectionSettingsScope::~ConnectionSettingsScope() {
    if (m_previous)
        RegSetKeyValueW(HKEY_CURRENT_USER, kConnections, kSettings, REG_BINARY, m_previous->data(),
                        static_cast<DWORD>(m_previous->size()));
    else
        RegDeleteKeyValueW(HKEY_CURRENT_USER, kConnections, kSettings);
    ReleaseMutex(m_turn.get());
}

} // namespace Testing
