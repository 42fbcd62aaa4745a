#include "QorWebUid/WebUidFormat.h"

#include <algorithm>

namespace Nolvar::App {

bool IsWebUidFormat(std::string_view text) {
    if (text.size() < kMinWebUidLength || text.size() > kMaxWebUidLength) return false;
    return std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
    });
}

} // namespace Nolvar::App
