#include <windows.h>

#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "QorOS/SignatureTag.h"
#include "QorPointer/UniqueHandle.h"
#include "QorString/Utf.h"
#include "testing/TempFolder.h"

using namespace Nolvar::Core;

namespace {

void PutLe(std::string& bytes, size_t offset, std::uint32_t value, int size) {
    for (int i = 0; i < size; ++i) bytes[offset + i] = static_cast<char>((value >> (8 * i)) & 0xff);
}

// A minimal PE32+ image: headers, a body, and a certificate table holding one WIN_CERTIFICATE whose content is
// a DER SEQUENCE of `signatureBody` bytes (long form length).
std::string SignedImage(size_t signatureBody = 300) {
    std::string file(0x400, '\0');
    file[0] = 'M';
    file[1] = 'Z';
    PutLe(file, 0x3c, 0x80, 4);
    file.replace(0x80, 4, std::string("PE\0\0", 4));
    const size_t coff = 0x84, optional = coff + 20;
    PutLe(file, coff + 16, 240, 2);      // SizeOfOptionalHeader
    PutLe(file, optional, 0x20b, 2);     // PE32+
    PutLe(file, optional + 108, 16, 4);  // NumberOfRvaAndSizes
    std::string der = {0x30, static_cast<char>(0x82), static_cast<char>(signatureBody >> 8),
                       static_cast<char>(signatureBody & 0xff)};
    der += std::string(signatureBody, '\x5a');
    std::string certificate(8, '\0');
    certificate += der;
    certificate.resize((certificate.size() + 7) & ~size_t{7}, '\0');
    PutLe(certificate, 0, static_cast<std::uint32_t>(certificate.size()), 4);
    PutLe(certificate, 4, 0x200, 2);
    PutLe(certificate, 6, 2, 2);
    PutLe(file, optional + 112 + 4 * 8, static_cast<std::uint32_t>(file.size()), 4);
    PutLe(file, optional + 112 + 4 * 8 + 4, static_cast<std::uint32_t>(certificate.size()), 4);
    return file + certificate;
}

std::string TableOf(const std::string& image) {
    const auto layout = SignatureTag::ParsePeLayout(image, image.size());
    if (!layout) return {};
    return image.substr(layout->tableOffset, layout->tableSize);
}

} // namespace

TEST(SignatureTag, WriteReadReplaceClear) {
    const std::string signedImage = SignedImage();
    EXPECT_EQ(SignatureTag::TagFromCertificateTable(TableOf(signedImage)), "");
    const std::string tagged = SignatureTag::WriteTag(signedImage, R"({"browser":"C"})");
    EXPECT_EQ(tagged.size() % 8, 0u);
    EXPECT_EQ(SignatureTag::TagFromCertificateTable(TableOf(tagged)), R"({"browser":"C"})");
    EXPECT_EQ(tagged.substr(0x400, 8 + 304).substr(8), signedImage.substr(0x400 + 8, 304)); // signature kept
    const std::string replaced = SignatureTag::WriteTag(tagged, R"({"webuid":"x"})");
    EXPECT_EQ(SignatureTag::TagFromCertificateTable(TableOf(replaced)), R"({"webuid":"x"})");
    const std::string cleared = SignatureTag::WriteTag(replaced, "");
    EXPECT_EQ(SignatureTag::TagFromCertificateTable(TableOf(cleared)), "");
    const std::string biggest = SignatureTag::WriteTag(signedImage, std::string(65535, 'a'));
    EXPECT_EQ(SignatureTag::TagFromCertificateTable(TableOf(biggest)).size(), 65535u);
    EXPECT_THROW(SignatureTag::WriteTag(signedImage, std::string(65536, 'a')), std::runtime_error);
}

TEST(SignatureTag, WriterRefusesWhatItCannotTagSafely) {
    std::string unsignedImage = SignedImage().substr(0, 0x400);
    PutLe(unsignedImage, 0x84 + 20 + 112 + 32, 0, 4);
    PutLe(unsignedImage, 0x84 + 20 + 112 + 36, 0, 4);
    EXPECT_THROW(SignatureTag::WriteTag(unsignedImage, "{}"), std::runtime_error);
    EXPECT_THROW(SignatureTag::WriteTag("MZ", "{}"), std::runtime_error);
    EXPECT_THROW(SignatureTag::WriteTag(SignedImage() + "overlay!", "{}"), std::runtime_error);
}

// A security directory that is not a well-formed table after the headers and inside the file is refused by the
// writer and read as no tag; the writer never writes outside the file it builds.
TEST(SignatureTag, TablesOverlappingTheHeadersOrOutsideTheFileAreRefused) {
    const std::string image = SignatureTag::WriteTag(SignedImage(), R"({"webuid":"w1"})");
    const size_t entry = 0x84 + 20 + 112 + 32;
    const auto withDirectory = [&](std::uint32_t offset, std::uint32_t size) {
        std::string damaged = image;
        PutLe(damaged, entry, offset, 4);
        PutLe(damaged, entry + 4, size, 4);
        return damaged;
    };
    const std::uint32_t fileSize = static_cast<std::uint32_t>(image.size());
    const std::vector<std::string> refused = {
        withDirectory(0x38, fileSize - 0x38),       // over the DOS and PE headers
        withDirectory(0x100, fileSize - 0x100),     // over the optional header
        withDirectory(0x3fc, fileSize - 0x3fc),     // not 8-byte aligned
        withDirectory(0x400, fileSize - 0x400 + 8), // past the end
        withDirectory(0xfffffff8, 16),              // far outside
    };
    for (const std::string& damaged : refused) {
        EXPECT_FALSE(SignatureTag::ParsePeLayout(damaged, damaged.size()).has_value());
        EXPECT_THROW(SignatureTag::WriteTag(damaged, R"({"a":"b"})"), std::runtime_error);
    }
    // A table shorter than its entry.
    const std::string shortTable = withDirectory(0x400, 8);
    EXPECT_EQ(SignatureTag::TagFromCertificateTable(TableOf(shortTable)), "");
    EXPECT_THROW(SignatureTag::WriteTag(shortTable, R"({"a":"b"})"), std::runtime_error);
    // The table must start with an Authenticode signature.
    std::string otherType = image;
    PutLe(otherType, 0x400 + 6, 1, 2);
    EXPECT_EQ(SignatureTag::TagFromCertificateTable(TableOf(otherType)), "");
    EXPECT_THROW(SignatureTag::WriteTag(otherType, R"({"a":"b"})"), std::runtime_error);
    // A section whose data reaches into the table.
    std::string overlapped = SignedImage();
    PutLe(overlapped, 0x84 + 2, 1, 2);                   // NumberOfSections
    const size_t section = 0x84 + 20 + 240;
    PutLe(overlapped, section + 16, 0x200, 4);           // SizeOfRawData
    PutLe(overlapped, section + 20, 0x300, 4);           // PointerToRawData: up to 0x500
    EXPECT_FALSE(SignatureTag::ParsePeLayout(overlapped, overlapped.size()).has_value());
    PutLe(overlapped, section + 16, 0x100, 4);           // up to 0x400: fine
    EXPECT_TRUE(SignatureTag::ParsePeLayout(overlapped, overlapped.size()).has_value());
}

TEST(SignatureTag, MalformedTagsReadAsEmpty) {
    std::string table = TableOf(SignatureTag::WriteTag(SignedImage(), R"({"a":"b"})"));
    const size_t lengthAt = 8 + 304 + 8;
    std::string tooLong = table;
    tooLong[lengthAt] = '\x7f'; // claims more than the certificate holds
    EXPECT_EQ(SignatureTag::TagFromCertificateTable(tooLong), "");
    std::string badMarker = table;
    badMarker[8 + 304] = 'X';
    EXPECT_EQ(SignatureTag::TagFromCertificateTable(badMarker), "");
    std::string badCertificateLength = table;
    PutLe(badCertificateLength, 0, 0xfffffff0, 4);
    EXPECT_EQ(SignatureTag::TagFromCertificateTable(badCertificateLength), "");
    std::string indefinite = table;
    indefinite[9] = '\x80';
    EXPECT_EQ(SignatureTag::TagFromCertificateTable(indefinite), "");
    std::string hugeDer = table;
    hugeDer[9] = '\x84';
    hugeDer.replace(10, 4, "\xff\xff\xff\xff");
    EXPECT_EQ(SignatureTag::TagFromCertificateTable(hugeDer), "");
    EXPECT_EQ(SignatureTag::TagFromCertificateTable(table.substr(0, 5)), "");
    EXPECT_EQ(SignatureTag::TagFromCertificateTable(""), "");
}

TEST(SignatureTag, RandomCorruptionNeverCrashesTheReader) {
    const std::string image = SignatureTag::WriteTag(SignedImage(), R"({"config_url":"https://x.example/"})");
    std::mt19937 random(12345);
    for (int round = 0; round < 3000; ++round) {
        std::string damaged = image;
        const int edits = 1 + static_cast<int>(random() % 8);
        for (int e = 0; e < edits; ++e) damaged[random() % damaged.size()] = static_cast<char>(random());
        if (random() % 4 == 0) damaged.resize(random() % damaged.size());
        const auto layout = SignatureTag::ParsePeLayout(damaged, damaged.size());
        if (layout) {
            ASSERT_LE(static_cast<std::uint64_t>(layout->tableOffset) + layout->tableSize, damaged.size());
            const std::string tag = SignatureTag::TagFromCertificateTable(damaged.substr(layout->tableOffset, layout->tableSize));
            ASSERT_LE(tag.size(), SignatureTag::kMaxTagSize);
        }
    }
}

TEST(SignatureTag, ReadsFromFilesAndSaysWhenTheFileCannotBeRead) {
    Testing::TempFolder folder(L"netsetter-tag-Папка-");
    const auto file = folder / L"NetsetterSetupC.exe";
    Testing::WriteWholeFile(file, SignatureTag::WriteTag(SignedImage(), R"({"webuid":"w1"})"));
    const auto tagged = ReadSignatureTag(Utf8FromWstring(file.wstring()));
    EXPECT_EQ(tagged.tag, R"({"webuid":"w1"})");
    EXPECT_EQ(tagged.failure, "");
    EXPECT_EQ(ReadTagFromSignature(Utf8FromWstring(file.wstring())), R"({"webuid":"w1"})");

    // No file named, a file that is no PE, a table pointing past the end: no tag, and nothing failed to read.
    Testing::WriteWholeFile(folder / L"tiny.exe", "MZ");
    std::string truncated = SignatureTag::WriteTag(SignedImage(), R"({"webuid":"w1"})");
    truncated.resize(truncated.size() - 16);
    Testing::WriteWholeFile(folder / L"truncated.exe", truncated);
    for (const std::string& name : {std::string(), Utf8FromWstring((folder / L"tiny.exe").wstring()),
                                   Utf8FromWstring((folder / L"truncated.exe").wstring())}) {
        const auto reading = ReadSignatureTag(name);
        EXPECT_EQ(reading.tag, "") << name;
        EXPECT_EQ(reading.failure, "") << name;
    }

    // A missing file and one another program holds open without sharing cannot be read.
    const auto missing = ReadSignatureTag(Utf8FromWstring((folder / L"missing.exe").wstring()));
    EXPECT_EQ(missing.tag, "");
    EXPECT_EQ(missing.failure.rfind("Cannot open the distribution file (error ", 0), 0u) << missing.failure;
    const UniqueKernelHandle held(
        CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held);
    const auto locked = ReadSignatureTag(Utf8FromWstring(file.wstring()));
    EXPECT_EQ(locked.tag, "");
    EXPECT_EQ(locked.failure, "Cannot open the distribution file (error 32)");
}
