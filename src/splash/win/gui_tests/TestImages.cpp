#include "splash/win/gui_tests/TestImages.h"

#include <array>
#include <algorithm>

namespace SplashTest {

namespace {

std::uint32_t Crc32(const std::string& data) {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    std::uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char byte : data) crc = table[(crc ^ byte) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

void PutBigEndian(std::string& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((value >> shift) & 0xFF);
}

void Chunk(std::string& png, const char* type, const std::string& data) {
    PutBigEndian(png, static_cast<std::uint32_t>(data.size()));
    const std::string body = std::string(type, 4) + data;
    png += body;
    PutBigEndian(png, Crc32(body));
}

// zlib stream of stored (uncompressed) deflate blocks.
std::string Stored(const std::string& raw) {
    std::string out = "\x78\x01";
    std::uint32_t a = 1, b = 0;
    for (unsigned char byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    std::size_t offset = 0;
    do {
        const std::size_t size = std::min<std::size_t>(65535, raw.size() - offset);
        const bool last = offset + size == raw.size();
        out += static_cast<char>(last ? 1 : 0);
        out += static_cast<char>(size & 0xFF);
        out += static_cast<char>(size >> 8);
        out += static_cast<char>(~size & 0xFF);
        out += static_cast<char>((~size >> 8) & 0xFF);
        out.append(raw, offset, size);
        offset += size;
    } while (offset < raw.size());
    PutBigEndian(out, (b << 16) | a);
    return out;
}

} // namespace

std::string SolidPng(int width, int height, std::uint32_t rgb) {
    std::string header;
    PutBigEndian(header, static_cast<std::uint32_t>(width));
    PutBigEndian(header, static_cast<std::uint32_t>(height));
    header += std::string("\x08\x02\x00\x00\x00", 5);   // 8 bits, RGB, deflate, no filter, no interlace
    std::string row(1 + 3 * static_cast<std::size_t>(width), '\0');
    for (int x = 0; x < width; ++x) {
        row[1 + 3 * x] = static_cast<char>((rgb >> 16) & 0xFF);
        row[2 + 3 * x] = static_cast<char>((rgb >> 8) & 0xFF);
        row[3 + 3 * x] = static_cast<char>(rgb & 0xFF);
    }
    std::string raw;
    raw.reserve(row.size() * static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) raw += row;
    std::string png = "\x89PNG\r\n\x1a\n";
    Chunk(png, "IHDR", header);
    Chunk(png, "IDAT", Stored(raw));
    Chunk(png, "IEND", "");
    return png;
}

} // namespace SplashTest
