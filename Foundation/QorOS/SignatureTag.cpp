#include "QorOS/SignatureTag.h"

#include <windows.h>

#include <memory>
#include <stdexcept>

#include "QorString/Utf.h"

namespace Nolvar::Core {
namespace SignatureTag {
namespace {

constexpr std::size_t kHeadSize = 64 * 1024;
constexpr std::uint32_t kMaxTableSize = 4 * 1024 * 1024;
constexpr std::size_t kCertificateHeader = 8; // dwLength, wRevision, wCertificateType

std::uint32_t ReadLe(std::string_view bytes, std::size_t offset, int size) {
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i) value = (value << 8) | static_cast<std::uint8_t>(bytes[offset + i]);
    return value;
}

void WriteLe32(std::string& bytes, std::size_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<char>((value >> (8 * i)) & 0xff);
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
    if (head.size() < 0x40 || head[0] != 'M' || head[1] != 'Z') return std::nullopt;
    const std::uint64_t pe = ReadLe(head, 0x3c, 4);
    const std::uint64_t coff = pe + 4;
    const std::uint64_t optional = coff + 20;
    if (optional + 2 > head.size() || head.substr(pe, 4) != std::string_view("PE\0\0", 4)) return std::nullopt;
    const std::uint32_t optionalSize = ReadLe(head, coff + 16, 2);
    const std::uint32_t magic = ReadLe(head, optional, 2);
    std::uint64_t directories = 0;
    std::uint64_t countOffset = 0;
    if (magic == 0x10b) {
        countOffset = optional + 92;
        directories = optional + 96;
    } else if (magic == 0x20b) {
        countOffset = optional + 108;
        directories = optional + 112;
    } else {
        return std::nullopt;
    }
    const std::uint64_t securityEntry = directories + 4 * 8;
    if (securityEntry + 8 > optional + optionalSize || securityEntry + 8 > head.size()) return std::nullopt;
    if (ReadLe(head, countOffset, 4) < 5) return std::nullopt;
    PeLayout layout;
    layout.checksumOffset = optional + 64;
    layout.securityEntryOffset = securityEntry;
    layout.tableOffset = ReadLe(head, securityEntry, 4);
    layout.tableSize = ReadLe(head, securityEntry + 4, 4);
    if (layout.tableOffset == 0 || layout.tableSize < kCertificateHeader) return std::nullopt;
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
    if (table.size() < kCertificateHeader) return {};
    const std::uint32_t certificateLength = ReadLe(table, 0, 4);
    if (certificateLength < kCertificateHeader || certificateLength > table.size()) return {};
    const std::string_view blob = table.substr(kCertificateHeader, certificateLength - kCertificateHeader);
    const auto signatureLength = DerObjectLength(blob);
    if (!signatureLength) return {};
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
    const std::uint32_t certificateLength = ReadLe(table, 0, 4);
    if (certificateLength < kCertificateHeader || certificateLength > table.size())
        throw std::runtime_error("malformed certificate table");
    if (((static_cast<std::size_t>(certificateLength) + 7) & ~std::size_t{7}) < table.size())
        throw std::runtime_error("the file carries more than one signature");
    const auto signatureLength = DerObjectLength(table.substr(kCertificateHeader, certificateLength - kCertificateHeader));
    if (!signatureLength) throw std::runtime_error("malformed signature");

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
    WriteLe32(out, layout->securityEntryOffset + 4, static_cast<std::uint32_t>(certificate.size()));
    WriteLe32(out, layout->checksumOffset, PeChecksum(out, layout->checksumOffset));
    return out;
}

} // namespace SignatureTag

namespace {

struct FileCloser {
    void operator()(HANDLE handle) const {
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
};

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

std::string ReadTagFromSignature(const std::string& file) {
    using namespace SignatureTag;
    if (file.empty()) return {};
    const std::wstring wide = WstringFromUtf8(file);
    std::unique_ptr<void, FileCloser> handle(CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (handle.get() == INVALID_HANDLE_VALUE) return {};
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(handle.get(), &size) || size.QuadPart <= 0) return {};
    std::string head(static_cast<std::size_t>(std::min<LONGLONG>(size.QuadPart, 64 * 1024)), '\0');
    if (!ReadAt(handle.get(), 0, head)) return {};
    const auto layout = ParsePeLayout(head, static_cast<std::uint64_t>(size.QuadPart));
    if (!layout || layout->tableSize > kMaxTableSize) return {};
    std::string table(layout->tableSize, '\0');
    if (!ReadAt(handle.get(), layout->tableOffset, table) || table.size() != layout->tableSize) return {};
    return TagFromCertificateTable(table);
}

} // namespace Nolvar::Core
