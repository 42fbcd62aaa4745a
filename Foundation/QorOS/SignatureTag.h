#pragma once
// A publisher's tag carried in the Authenticode signature of a PE file.
//
// Layout: inside the first WIN_CERTIFICATE of the certificate table, right after the DER-encoded PKCS#7
// signature: the marker "NSTTAG01", a 2-byte big-endian length, then the tag text (UTF-8 JSON), zero-padded to
// an 8-byte boundary. The WIN_CERTIFICATE length and the security directory size cover the tag. The signed hash
// never covers the certificate table, so the signature stays valid.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace Nolvar::Core {

// The tag of the signed file at `file` (UTF-8 path); empty when the file has none or anything is malformed.
std::string ReadTagFromSignature(const std::string& file);

struct SignatureTagReading {
    std::string tag;       // empty when none could be read
    std::string failure;   // why the file could not be read; empty when it was read (with or without a tag)
};
// As ReadTagFromSignature, and says when the file itself could not be opened or read, or its certificate table
// is larger than the reader accepts. An empty name, an unsigned file or a file that is no PE read as no tag.
SignatureTagReading ReadSignatureTag(const std::string& file);

namespace SignatureTag {

inline constexpr std::string_view kMarker = "NSTTAG01";
inline constexpr std::size_t kMaxTagSize = 65535;

struct PeLayout {
    std::uint64_t checksumOffset = 0;      // file offset of the optional header's CheckSum
    std::uint64_t securityEntryOffset = 0; // file offset of the security data directory entry
    std::uint32_t tableOffset = 0;         // file offset of the certificate table
    std::uint32_t tableSize = 0;
};

// Reads the PE headers at the start of a file of `fileSize` bytes; nothing when they are malformed, the file is
// unsigned or the certificate table lies outside the file.
std::optional<PeLayout> ParsePeLayout(std::string_view head, std::uint64_t fileSize);

// Length of the DER object at the start of `blob` (header included); nothing when malformed or longer than blob.
std::optional<std::size_t> DerObjectLength(std::string_view blob);

// The tag in a certificate table; empty when there is none or it is malformed.
std::string TagFromCertificateTable(std::string_view table);

// Returns the whole file with `tag` stored (an earlier tag is replaced; an empty tag removes it) and its PE
// checksum updated. Throws std::runtime_error for a file that is not a signed PE whose certificate table ends the
// file, or a tag longer than kMaxTagSize.
std::string WriteTag(std::string_view fileBytes, std::string_view tag);

} // namespace SignatureTag
} // namespace Nolvar::Core
