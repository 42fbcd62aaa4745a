#include "logic/logic/DownloadFileName.h"

#include <algorithm>
#include <array>
#include <cwctype>
#include <string_view>

namespace Nolvar {
namespace {

// Longest path the plain Windows file functions accept, without its terminating zero.
constexpr std::size_t kMaxPath = 259;
// Longest file name: Windows counts UTF-16 units, Unix file systems under Wine count UTF-8 bytes.
constexpr std::size_t kMaxComponent = 255;
// Room left for the ".tmp" of the download's temporary file and a "-<n>" suffix of a unique name.
constexpr std::size_t kReserved = 4 + 11;
// The shortest name a cut leaves room for ("download").
constexpr std::size_t kMinimumName = 8;
// Extensions longer than this are cut with the rest of the name.
constexpr std::size_t kMaxKeptExtension = 16;

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

// Windows opens a device for these names whatever follows the first dot, and also with spaces or dots after
// the name ("nul .exe").
bool IsDeviceName(std::wstring stem) {
    while (!stem.empty() && (stem.back() == L' ' || stem.back() == L'.')) stem.pop_back();
    static constexpr std::array<std::wstring_view, 6> kDevices = {L"con", L"prn", L"aux", L"nul", L"conin$", L"conout$"};
    const std::wstring lower = Lower(stem);
    if (std::find(kDevices.begin(), kDevices.end(), lower) != kDevices.end()) return true;
    if (lower.size() != 4 || (lower.compare(0, 3, L"com") != 0 && lower.compare(0, 3, L"lpt") != 0)) return false;
    const wchar_t digit = lower[3];
    return (digit >= L'0' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' || digit == L'\u00B3';
}

std::size_t Utf8Length(std::wstring_view text) {
    std::size_t bytes = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (c < 0x80) {
            bytes += 1;
        } else if (c < 0x800) {
            bytes += 2;
        } else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            bytes += 4;
            ++i;
        } else {
            bytes += 3;
        }
    }
    return bytes;
}

// The longest front part of `text` within both limits, not ending inside a surrogate pair.
std::wstring Shortened(const std::wstring& text, std::size_t maxUnits, std::size_t maxBytes) {
    std::size_t end = std::min(text.size(), maxUnits);
    while (end > 0 && Utf8Length(std::wstring_view(text).substr(0, end)) > maxBytes) --end;
    if (end > 0 && end < text.size() && text[end - 1] >= 0xD800 && text[end - 1] <= 0xDBFF) --end;
    return text.substr(0, end);
}

void TrimTrailingDotsAndSpaces(std::wstring& text) {
    while (!text.empty() && (text.back() == L'.' || text.back() == L' ')) text.pop_back();
}

} // namespace

ioPath SafeDownloadFileName(const ioPath& decodedName, const ioPath& folder) {
    std::wstring name = decodedName.wstring();
    for (wchar_t& c : name)
        if (c < 32 || std::wstring_view(L"\\/:*?\"<>|").find(c) != std::wstring_view::npos) c = L'_';
    // Windows drops trailing dots and spaces, which would turn ".." into the parent folder.
    TrimTrailingDotsAndSpaces(name);

    const std::size_t folderLength = folder.empty() ? 0 : folder.wstring().size() + 1;
    const std::size_t room = std::min(kMaxComponent, kMaxPath > folderLength ? kMaxPath - folderLength : 0);
    // A folder too deep for any name still gets a short one.
    const std::size_t maxUnits = room > kReserved + kMinimumName ? room - kReserved : kMinimumName;
    const std::size_t maxBytes = kMaxComponent - kReserved;
    if (name.size() > maxUnits || Utf8Length(name) > maxBytes) {
        const std::size_t dot = name.rfind(L'.');
        std::wstring extension = dot == std::wstring::npos || dot == 0 ? L"" : name.substr(dot);
        if (extension.size() > kMaxKeptExtension || extension.size() >= maxUnits) extension.clear();
        std::wstring stem = name.substr(0, name.size() - extension.size());
        stem = Shortened(stem, maxUnits - extension.size(), maxBytes - Utf8Length(extension));
        TrimTrailingDotsAndSpaces(stem);
        name = stem.empty() ? L"" : stem + extension;
    }
    if (name.empty()) return ioPath(L"download");
    if (IsDeviceName(name.substr(0, name.find(L'.')))) name = L"_" + name;
    return ioPath(name);
}

ioPath UniqueFileNames::Take(const ioPath& wanted) {
    const std::wstring key = Lower(wanted.wstring());
    if (m_taken.insert(key).second) return wanted;
    int& number = m_nextNumber.try_emplace(key, 2).first->second;
    for (;; ++number) {
        const ioPath candidate =
            wanted.parent_path() / (wanted.stem().wstring() + L"-" + std::to_wstring(number) + wanted.extension().wstring());
        if (m_taken.insert(Lower(candidate.wstring())).second) {
            ++number;
            return candidate;
        }
    }
}

void UniqueFileNames::MarkTaken(const ioPath& path) { m_taken.insert(Lower(path.wstring())); }

} // namespace Nolvar
