#include <regex>
#include <string>

#include <gtest/gtest.h>

#include "utils/HardwareInfo.h"

using namespace Nolvar;

namespace {

std::string Header(std::uint32_t tableLength) {
    std::string raw = {0, 3, 4, 0};
    for (int i = 0; i < 4; ++i) raw += static_cast<char>((tableLength >> (8 * i)) & 0xff);
    return raw;
}

// A type-0 structure with one string, then a type-1 structure of `formatted` bytes holding the UUID bytes
// a0 a1 a2 a3 b0 b1 c0 c1 d0 d1 e0..e5.
std::string Table(int formatted) {
    std::string table = {0, 4, 0, 0};
    table += "Vendor";
    table += std::string(2, '\0');
    std::string system(static_cast<size_t>(formatted), '\0');
    system[0] = 1;
    system[1] = static_cast<char>(formatted);
    const unsigned char uuid[16] = {0xa0, 0xa1, 0xa2, 0xa3, 0xb0, 0xb1, 0xc0, 0xc1,
                                    0xd0, 0xd1, 0xe0, 0xe1, 0xe2, 0xe3, 0xe4, 0xe5};
    for (int i = 0; i < 16 && 8 + i < formatted; ++i) system[8 + i] = static_cast<char>(uuid[i]);
    table += system;
    table += std::string(2, '\0');
    return table;
}

} // namespace

TEST(HardwareInfo, SmbiosUuidIsReadWithItsMixedByteOrder) {
    const std::string table = Table(27);
    EXPECT_EQ(Detail::SmbiosUuidFromRawData(Header(static_cast<std::uint32_t>(table.size())) + table),
              "a3a2a1a0-b1b0-c1c0-d0d1-e0e1e2e3e4e5");
}

TEST(HardwareInfo, MalformedFirmwareTablesGiveNoUuid) {
    const std::string shortSystem = Table(8);
    EXPECT_EQ(Detail::SmbiosUuidFromRawData(Header(static_cast<std::uint32_t>(shortSystem.size())) + shortSystem), "");
    const std::string table = Table(27);
    // The declared length ends inside the first structure's strings: stop without reading further.
    EXPECT_EQ(Detail::SmbiosUuidFromRawData(Header(8) + table), "");
    // A declared length beyond the data read is bounded by the data.
    EXPECT_EQ(Detail::SmbiosUuidFromRawData(Header(0xffffffff) + table.substr(0, 20)), "");
    EXPECT_EQ(Detail::SmbiosUuidFromRawData(Header(0xffffffff) + table), "a3a2a1a0-b1b0-c1c0-d0d1-e0e1e2e3e4e5");
    // A structure that claims a formatted length below its own header.
    EXPECT_EQ(Detail::SmbiosUuidFromRawData(Header(6) + std::string("\x02\x01\x00\x00\x00\x00", 6)), "");
    EXPECT_EQ(Detail::SmbiosUuidFromRawData(""), "");
    EXPECT_EQ(Detail::SmbiosUuidFromRawData(std::string("\0\0\0", 3)), "");
}

TEST(HardwareInfo, IdIsAStableLowercaseNameBasedUuid) {
    const std::string id = ComputeHardwareId();
    EXPECT_TRUE(std::regex_match(id, std::regex("[0-9a-f]{8}-[0-9a-f]{4}-5[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}")))
        << id;
    EXPECT_EQ(ComputeHardwareId(), id);
    EXPECT_EQ(CreateHardwareInfo()->GetHardwareId(), id);
    EXPECT_EQ(Detail::HardwareIdFrom(ReadSmbiosSystemUuid(), ReadMachineGuid()), id);
    // Each input changes the id; missing inputs still give a full id.
    EXPECT_NE(Detail::HardwareIdFrom("", ""), Detail::HardwareIdFrom("", "guid"));
    EXPECT_NE(Detail::HardwareIdFrom("uuid", "guid"), Detail::HardwareIdFrom("", "guid"));
    EXPECT_EQ(Detail::HardwareIdFrom("", "").size(), 36u);
}

TEST(HardwareInfo, RegistryReads) {
    EXPECT_FALSE(ReadMachineGuid().empty()); // Wine's prefix has one
    try {
        ReadRegistryStringOrThrow(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Cryptography", L"NoSuchValue");
        FAIL() << "no exception";
    } catch (const win32::RegistryError& error) {
        EXPECT_STREQ(error.what(), "Cannot read string from registry");
        EXPECT_EQ(error.code(), ERROR_FILE_NOT_FOUND);
    }
    // A DWORD value is not a string.
    EXPECT_THROW(ReadRegistryStringOrThrow(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Windows",
                                           L"ErrorMode"),
                 win32::RegistryError);
}
