#pragma once
// The machine id: a name-based UUID over the firmware's system UUID and Windows' machine GUID.
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include <windows.h>

namespace Nolvar {

namespace App::Activation {

class IHardwareInfo {
public:
    virtual std::string GetHardwareId() const = 0;
    virtual ~IHardwareInfo() = default;
};

namespace HardwareInfoFactory::V2 {

class HardwareInfo : public IHardwareInfo {
public:
    explicit HardwareInfo(std::string id) : m_id(std::move(id)) {}
    std::string GetHardwareId() const override { return m_id; }

private:
    const std::string m_id;
};

} // namespace HardwareInfoFactory::V2
} // namespace App::Activation

namespace win32 {

class RegistryError : public std::runtime_error {
public:
    RegistryError(const std::string& message, LSTATUS code) : std::runtime_error(message), m_code(code) {}
    LSTATUS code() const { return m_code; }

private:
    LSTATUS m_code;
};

} // namespace win32

std::shared_ptr<App::Activation::IHardwareInfo> CreateHardwareInfo();
// 36 lowercase characters, 8-4-4-4-12.
std::string ComputeHardwareId();
// The SMBIOS system UUID as text, or "".
std::string ReadSmbiosSystemUuid();
// HKLM\SOFTWARE\Microsoft\Cryptography\MachineGuid, or "".
std::string ReadMachineGuid();
// A REG_SZ value; throws win32::RegistryError "Cannot read string from registry".
std::wstring ReadRegistryStringOrThrow(HKEY root, const std::wstring& subKey, const std::wstring& valueName);

namespace Detail {
// The id of the two inputs (either may be empty).
std::string HardwareIdFrom(const std::string& smbiosUuid, const std::string& machineGuid);
// The system UUID of raw SMBIOS data as GetSystemFirmwareTable('RSMB') returns it; "" when absent or malformed.
std::string SmbiosUuidFromRawData(std::string_view raw);
} // namespace Detail

} // namespace Nolvar
