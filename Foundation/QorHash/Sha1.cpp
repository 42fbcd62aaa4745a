#include "QorHash/Sha1.h"

#include <windows.h>
#include <bcrypt.h>

#include <algorithm>
#include <array>
#include <system_error>

#include "QorPointer/UniqueHandle.h"

namespace Nolvar::Util {

namespace {

void Check(NTSTATUS status, const char* what) {
    if (!BCRYPT_SUCCESS(status)) throw std::system_error(static_cast<int>(status), std::system_category(), what);
}

} // namespace

std::string SHA1(std::string_view text) {
    Core::UniqueBCryptAlgorithm algorithm;
    Check(BCryptOpenAlgorithmProvider(algorithm.put(), BCRYPT_SHA1_ALGORITHM, nullptr, 0), "BCryptOpenAlgorithmProvider");
    Core::UniqueBCryptHash hash;
    Check(BCryptCreateHash(algorithm.get(), hash.put(), nullptr, 0, nullptr, 0, 0), "BCryptCreateHash");
    // BCryptHashData takes at most ULONG bytes per call.
    const auto* data = reinterpret_cast<const unsigned char*>(text.data());
    std::size_t left = text.size();
    while (left > 0) {
        const ULONG chunk = static_cast<ULONG>(std::min<std::size_t>(left, 1u << 30));
        Check(BCryptHashData(hash.get(), const_cast<PUCHAR>(data), chunk, 0), "BCryptHashData");
        data += chunk;
        left -= chunk;
    }
    std::array<unsigned char, 20> digest{};
    Check(BCryptFinishHash(hash.get(), digest.data(), static_cast<ULONG>(digest.size()), 0), "BCryptFinishHash");

    static constexpr char kHex[] = "0123456789abcdef";
    std::string result;
    result.reserve(digest.size() * 2);
    for (unsigned char byte : digest) {
        result += kHex[byte >> 4];
        result += kHex[byte & 0x0F];
    }
    return result;
}

} // namespace Nolvar::Util
