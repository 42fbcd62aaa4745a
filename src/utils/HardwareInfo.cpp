#include "utils/HardwareInfo.h"

#include <cstdint>
#include <exception>

#include <boost/uuid/name_generator_sha1.hpp>
#include <boost/uuid/uuid.hpp>
#include <boost/uuid/uuid_io.hpp>

#include "QorString/Utf.h"

namespace Nolvar {
namespace {

// The namespace of the first name-based UUID; changing it changes every machine id.
constexpr boost::uuids::uuid HARDWARE_ID_NAMESPACE = {
    {0x6c, 0x1e, 0x0b, 0x7d, 0x93, 0x4a, 0x4f, 0x25, 0xa8, 0x61, 0x2f, 0xd4, 0x0e, 0x57, 0xb3, 0x9c}};

boost::uuids::uuid NameBased(const boost::uuids::uuid& ns, const std::string& name) {
    return boost::uuids::name_generator_sha1(ns)(name.data(), name.size());
}

} // namespace

namespace Detail {

std::string HardwareIdFrom(const std::string& smbiosUuid, const std::string& machineGuid) {
    const auto u1 = NameBased(HARDWARE_ID_NAMESPACE, "Windows");
    const auto u2 = NameBased(u1, smbiosUuid);
    const auto u3 = NameBased(u2, machineGuid);
    return boost::uuids::to_string(u3);
}

std::string SmbiosUuidFromRawData(std::string_view raw) {
    if (raw.size() < 8) return {};
    auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(raw[i]); };
    const std::uint64_t length = byte(4) | (byte(5) << 8) | (byte(6) << 16) | (static_cast<std::uint64_t>(byte(7)) << 24);
    const std::size_t end = static_cast<std::size_t>(std::min<std::uint64_t>(raw.size(), 8 + length));
    std::size_t pos = 8;
    while (pos + 2 <= end) {
        const std::uint8_t type = byte(pos);
        const std::uint8_t formatted = byte(pos + 1);
        if (type == 1) {
            if (formatted < 24 || pos + 24 > end) return {};
            static constexpr int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
            boost::uuids::uuid uuid{};
            for (int i = 0; i < 16; ++i) uuid.data[i] = byte(pos + 8 + order[i]);
            return boost::uuids::to_string(uuid);
        }
        if (formatted < 4) return {}; // shorter than a structure header: corrupt table
        std::size_t strings = pos + formatted;
        while (strings + 1 < end && !(raw[strings] == 0 && raw[strings + 1] == 0)) ++strings;
        if (strings + 1 >= end) return {};
        pos = strings + 2;
    }
    return {};
}

} // namespace Detail

std::wstring ReadRegistryStringOrThrow(HKEY root, const std::wstring& subKey, const std::wstring& valueName) {
    DWORD size = 0;
    LSTATUS status = RegGetValueW(root, subKey.c_str(), valueName.c_str(), RRF_RT_REG_SZ, nullptr, nullptr, &size);
    if (status != ERROR_SUCCESS) throw win32::RegistryError("Cannot read string from registry", status);
    std::wstring buffer(size / sizeof(wchar_t) + 1, L'\0');
    DWORD filled = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    status = RegGetValueW(root, subKey.c_str(), valueName.c_str(), RRF_RT_REG_SZ, nullptr, buffer.data(), &filled);
    if (status != ERROR_SUCCESS) throw win32::RegistryError("Cannot read string from registry", status);
    // RegGetValueW terminates the text; never read past what it wrote.
    const std::size_t chars = std::min<std::size_t>(filled / sizeof(wchar_t), buffer.size());
    buffer.resize(chars);
    while (!buffer.empty() && buffer.back() == L'\0') buffer.pop_back();
    return buffer;
}

std::string ReadSmbiosSystemUuid() {
    constexpr DWORD kRsmb = 'R' << 24 | 'S' << 16 | 'M' << 8 | 'B';
    const UINT size = GetSystemFirmwareTable(kRsmb, 0, nullptr, 0);
    if (size == 0) return {};
    std::string raw(size, '\0');
    const UINT read = GetSystemFirmwareTable(kRsmb, 0, raw.data(), size);
    raw.resize(std::min<UINT>(read, size));
    return Detail::SmbiosUuidFromRawData(raw);
}

std::string ReadMachineGuid() {
    try {
        return Core::Utf8FromWstring(
            ReadRegistryStringOrThrow(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Cryptography", L"MachineGuid"));
    } catch (const std::exception&) {
        return {};
    }
}

std::string ComputeHardwareId() { return Detail::HardwareIdFrom(ReadSmbiosSystemUuid(), ReadMachineGuid()); }

std::shared_ptr<App::Activation::IHardwareInfo> CreateHardwareInfo() {
    return std::make_shared<App::Activation::HardwareInfoFactory::V2::HardwareInfo>(ComputeHardwareId());
}

} // namespace Nolvar
