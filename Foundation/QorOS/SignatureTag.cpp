#include "QorOS/SignatureTag.h"

#include <windows.h>

#include <wintrust.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>

#include "QorPointer/UniqueHandle.h"
#include "QorString/Utf.h"

namespace Nolvar::Core {
namespace SignatureTag {
namespace {

constexpr std::size_t kHeadSize = 64 * 1024;
constexpr std::uint32_t kMaxTableSize = 4 * 1024 * 1024;
constexpr std::size_t kCertificateHeader = offsetof(WIN_CERTIFICATE, bCertificate);
constexpr std::uint8_t kDerSequence = 0x30;

// A copy of the structure at `offset`; nothing when it does not lie wholly inside `bytes`.
template <class T>
std::optional<T> ReadStruct(std::string_view bytes, std::uint64_t offset) {
    if (offset > bytes.size() || sizeof(T) > bytes.size() - offset) return std::nullopt;
    T value;
    std::memcpy(&value, bytes.data() + offset, sizeof(T));
    return value;
}

void WriteLe32(std::string& bytes, std::size_t offset, std::uint32_t value) {
    if (offset > bytes.size() || bytes.size() - offset < 4) throw std::logic_error("write outside the file");
    for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<char>((value >> (8 * i)) & 0xff);
}

std::uint64_t Align8(std::uint64_t value) { return (value + 7) & ~std::uint64_t{7}; }

// Where the optional header keeps what the tag needs, for either PE flavour.
template <class OptionalHeader>
bool ReadOptionalHeader(std::string_view head, std::uint64_t offset, const IMAGE_FILE_HEADER& fileHeader,
                        PeLayout& layout, std::uint64_t& sizeOfHeaders) {
    constexpr std::uint64_t kSecurityEntry =
        offsetof(OptionalHeader, DataDirectory) + IMAGE_DIRECTORY_ENTRY_SECURITY * sizeof(IMAGE_DATA_DIRECTORY);
    const auto header = ReadStruct<OptionalHeader>(head, offset);
    if (!header || fileHeader.SizeOfOptionalHeader < kSecurityEntry + sizeof(IMAGE_DATA_DIRECTORY) ||
        header->NumberOfRvaAndSizes <= IMAGE_DIRECTORY_ENTRY_SECURITY)
        return false;
    const IMAGE_DATA_DIRECTORY& security = header->DataDirectory[IMAGE_DIRECTORY_ENTRY_SECURITY];
    layout.checksumOffset = offset + offsetof(OptionalHeader, CheckSum);
    layout.securityEntryOffset = offset + kSecurityEntry;
    layout.tableOffset = security.VirtualAddress; // a file offset for this directory
    layout.tableSize = security.Size;
    sizeOfHeaders = header->SizeOfHeaders;
    return true;
}

// The WIN_CERTIFICATE entries of a certificate table as (offset, length); nothing unless the entries, each
// 8-byte aligned, fill the table exactly and the first is a PKCS#7 signature.
std::optional<std::vector<std::pair<std::size_t, std::size_t>>> CertificateEntries(std::string_view table) {
    std::vector<std::pair<std::size_t, std::size_t>> entries;
    std::size_t offset = 0;
    while (offset < table.size()) {
        const auto certificate = ReadStruct<WIN_CERTIFICATE>(table, offset);
        if (!certificate || certificate->dwLength < kCertificateHeader || certificate->dwLength > table.size() - offset)
            return std::nullopt;
        if (entries.empty() && (certificate->wRevision != WIN_CERT_REVISION_2_0 ||
                                certificate->wCertificateType != WIN_CERT_TYPE_PKCS_SIGNED_DATA))
            return std::nullopt;
        entries.emplace_back(offset, certificate->dwLength);
        offset = std::min<std::uint64_t>(Align8(offset + certificate->dwLength), table.size());
    }
    if (entries.empty()) return std::nullopt;
    return entries;
}

std::uint32_t PeChecksum(const std::string& bytes, std::uint64_t checksumOffset) {
    std::uint64_t sum = 0;
    const std::size_t size = bytes.size();
    for (std::size_t i = 0; i < size; i += 2) {
        if (i == checksumOffset || i == checksumOffset + 2) continue;
        std::uint32_t word = static_cast<std::uint8_t>(bytes[i]);
        if (i + 1 < size) word |= static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[i + 1])) << 8;
        sum += word;
        sum = (sum & 0xffff) + (sum >> 16);
    }
    sum = (sum & 0xffff) + (sum >> 16);
    return static_cast<std::uint32_t>(sum + size);
}

} // namespace

std::optional<PeLayout> ParsePeLayout(std::string_view head, std::uint64_t fileSize) {
    const auto dos = ReadStruct<IMAGE_DOS_HEADER>(head, 0);
    if (!dos || dos->e_magic != IMAGE_DOS_SIGNATURE || dos->e_lfanew < 0) return std::nullopt;
    const std::uint64_t ntOffset = static_cast<std::uint32_t>(dos->e_lfanew);
    const auto signature = ReadStruct<DWORD>(head, ntOffset);
    const auto fileHeader = ReadStruct<IMAGE_FILE_HEADER>(head, ntOffset + sizeof(DWORD));
    if (!signature || *signature != IMAGE_NT_SIGNATURE || !fileHeader) return std::nullopt;
    const std::uint64_t optionalOffset = ntOffset + sizeof(DWORD) + sizeof(IMAGE_FILE_HEADER);
    const auto magic = ReadStruct<WORD>(head, optionalOffset);
    if (!magic) return std::nullopt;
    PeLayout layout;
    std::uint64_t sizeOfHeaders = 0;
    if (*magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC) {
        if (!ReadOptionalHeader<IMAGE_OPTIONAL_HEADER32>(head, optionalOffset, *fileHeader, layout, sizeOfHeaders))
            return std::nullopt;
    } else if (*magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC) {
        if (!ReadOptionalHeader<IMAGE_OPTIONAL_HEADER64>(head, optionalOffset, *fileHeader, layout, sizeOfHeaders))
            return std::nullopt;
    } else {
        return std::nullopt;
    }

    // The table lies after the headers and every section's data: the signed part of the file comes first.
    const std::uint64_t sectionsOffset = optionalOffset + fileHeader->SizeOfOptionalHeader;
    std::uint64_t signedEnd = std::max(sizeOfHeaders, sectionsOffset + std::uint64_t{fileHeader->NumberOfSections} *
                                                                         sizeof(IMAGE_SECTION_HEADER));
    for (WORD i = 0; i < fileHeader->NumberOfSections; ++i) {
        const auto section = ReadStruct<IMAGE_SECTION_HEADER>(head, sectionsOffset + i * sizeof(IMAGE_SECTION_HEADER));
        if (!section) return std::nullopt;
        if (section->SizeOfRawData != 0)
            signedEnd = std::max(signedEnd, std::uint64_t{section->PointerToRawData} + section->SizeOfRawData);
    }
    if (layout.tableOffset == 0 || layout.tableOffset % 8 != 0 || layout.tableOffset < signedEnd) return std::nullopt;
    if (layout.tableSize < kCertificateHeader) return std::nullopt;
    if (static_cast<std::uint64_t>(layout.tableOffset) + layout.tableSize > fileSize) return std::nullopt;
    return layout;
}

std::optional<std::size_t> DerObjectLength(std::string_view blob) {
    if (blob.size() < 2) return std::nullopt;
    const auto first = static_cast<std::uint8_t>(blob[1]);
    std::size_t header = 2;
    std::size_t length = first;
    if (first & 0x80) {
        const int count = first & 0x7f;
        if (count == 0 || count > 4 || blob.size() < 2u + count) return std::nullopt; // indefinite or absurd
        length = 0;
        for (int i = 0; i < count; ++i) length = (length << 8) | static_cast<std::uint8_t>(blob[2 + i]);
        header += count;
    }
    if (length > blob.size() - header) return std::nullopt;
    return header + length;
}

std::string TagFromCertificateTable(std::string_view table) {
    const auto entries = CertificateEntries(table);
    if (!entries) return {};
    const auto [offset, length] = entries->front();
    const std::string_view blob = table.substr(offset + kCertificateHeader, length - kCertificateHeader);
    const auto signatureLength = DerObjectLength(blob);
    if (!signatureLength || static_cast<std::uint8_t>(blob[0]) != kDerSequence) return {};
    const std::string_view rest = blob.substr(*signatureLength);
    if (rest.size() < kMarker.size() + 2 || rest.substr(0, kMarker.size()) != kMarker) return {};
    const std::size_t tagLength = (static_cast<std::uint8_t>(rest[kMarker.size()]) << 8) |
                                  static_cast<std::uint8_t>(rest[kMarker.size() + 1]);
    if (tagLength > kMaxTagSize || tagLength > rest.size() - kMarker.size() - 2) return {};
    return std::string(rest.substr(kMarker.size() + 2, tagLength));
}

std::string WriteTag(std::string_view fileBytes, std::string_view tag) {
    if (tag.size() > kMaxTagSize) throw std::runtime_error("the tag is longer than 65535 bytes");
    const auto layout = ParsePeLayout(fileBytes.substr(0, kHeadSize), fileBytes.size());
    if (!layout) throw std::runtime_error("not a signed PE file");
    if (static_cast<std::uint64_t>(layout->tableOffset) + layout->tableSize != fileBytes.size())
        throw std::runtime_error("the certificate table does not end the file");
    const std::string_view table = fileBytes.substr(layout->tableOffset, layout->tableSize);
    const auto entries = CertificateEntries(table);
    if (!entries) throw std::runtime_error("malformed certificate table");
    if (entries->size() > 1) throw std::runtime_error("the file carries more than one signature");
    const std::size_t certificateLength = entries->front().second;
    const std::string_view blob = table.substr(kCertificateHeader, certificateLength - kCertificateHeader);
    const auto signatureLength = DerObjectLength(blob);
    if (!signatureLength || static_cast<std::uint8_t>(blob[0]) != kDerSequence)
        throw std::runtime_error("malformed signature");

    std::string certificate(table.substr(0, kCertificateHeader + *signatureLength));
    if (!tag.empty()) {
        certificate += kMarker;
        certificate += static_cast<char>((tag.size() >> 8) & 0xff);
        certificate += static_cast<char>(tag.size() & 0xff);
        certificate += tag;
    }
    certificate.resize((certificate.size() + 7) & ~std::size_t{7}, '\0');
    WriteLe32(certificate, 0, static_cast<std::uint32_t>(certificate.size()));

    std::string out(fileBytes.substr(0, layout->tableOffset));
    out += certificate;
    // ParsePeLayout put the table after the headers, so the entries written below lie inside the signed part.
    if (out.size() <= layout->tableOffset || layout->securityEntryOffset + 8 > layout->tableOffset)
        throw std::logic_error("the tagged file would lose its signed part");
    WriteLe32(out, layout->securityEntryOffset + 4, static_cast<std::uint32_t>(certificate.size()));
    WriteLe32(out, layout->checksumOffset, PeChecksum(out, layout->checksumOffset));
    return out;
}

} // namespace SignatureTag

namespace {

bool ReadAt(HANDLE file, std::uint64_t offset, std::string& buffer) {
    OVERLAPPED position{};
    position.Offset = static_cast<DWORD>(offset & 0xffffffff);
    position.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD read = 0;
    if (!ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &read, &position)) return false;
    buffer.resize(read);
    return true;
}

} // namespace

SignatureTagReading ReadSignatureTag(const std::string& file) {
    using namespace SignatureTag;
    if (file.empty()) return {};
    const auto failed = [](const char* step) {
        const DWORD error = GetLastError();
        return SignatureTagReading{{}, std::string(step) + " (error " + std::to_string(error) + ")"};
    };
    const std::wstring wide = WstringFromUtf8(file);
    const UniqueKernelHandle handle(CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle) return failed("Cannot open the distribution file");
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(handle.get(), &size)) return failed("Cannot read the size of the distribution file");
    if (size.QuadPart <= 0) return {};
    std::string head(static_cast<std::size_t>(std::min<LONGLONG>(size.QuadPart, 64 * 1024)), '\0');
    if (!ReadAt(handle.get(), 0, head)) return failed("Cannot read the distribution file");
    const auto layout = ParsePeLayout(head, static_cast<std::uint64_t>(size.QuadPart));
    if (!layout) return {};
    if (layout->tableSize > kMaxTableSize) return {{}, "The certificate table of the distribution file is too large"};
    std::string table(layout->tableSize, '\0');
    if (!ReadAt(handle.get(), layout->tableOffset, table)) return failed("Cannot read the distribution file");
    if (table.size() != layout->tableSize) return {{}, "The certificate table of the distribution file is cut short"};
    return {TagFromCertificateTable(table), {}};
}

std::string ReadTagFromSignature(const std::string& file) { return ReadSignatureTag(file).tag; }

} // namespace Nolvar::Core
