#include "QorHash/Sha1.h"

#include <windows.h>
#include <bcrypt.h>

#include <algorithm>
#include <array>
#include <system_error>

namespace Nolvar::Util {

namespace {

void Check(NTSTATUS status, const char* what) {
    if (!BCRYPT_SUCCESS(status)) throw std::system_error(static_cast<int>(status), std::system_category(), what);
}

class Algorithm {
public:
    Algorithm() { Check(BCryptOpenAlgorithmProvider(&m_handle, BCRYPT_SHA1_ALGORITHM, nullptr, 0), "BCryptOpenAlgorithmProvider"); }
    ~Algorithm() { BCryptCloseAlgorithmProvider(m_handle, 0); }
    Algorithm(const Algorithm&) = delete;
    Algorithm& operator=(const Algorithm&) = delete;
    BCRYPT_ALG_HANDLE get() const { return m_handle; }

private:
    BCRYPT_ALG_HANDLE m_handle = nullptr;
};

class Hash {
public:
    explicit Hash(const Algorithm& algorithm) {
        Check(BCryptCreateHash(algorithm.get(), &m_handle, nullptr, 0, nullptr, 0, 0), "BCryptCreateHash");
    }
    ~Hash() { BCryptDestroyHash(m_handle); }
    Hash(const Hash&) = delete;
    Hash& operator=(const Hash&) = delete;
    BCRYPT_HASH_HANDLE get() const { return m_handle; }

private:
    BCRYPT_HASH_HANDLE m_handle = nullptr;
};

} // namespace

std::string SHA1(std::string_view text) {
    Algorithm algorithm;
    Hash hash(algorithm);
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
