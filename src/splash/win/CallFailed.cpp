#include "splash/win/CallFailed.h"

#include <cstdint>
#include <iomanip>

namespace Nolvar {

bool CallFailed(HRESULT hr, const char* call, google::LogSeverity severity, const std::source_location& where) {
    if (SUCCEEDED(hr)) return false;
    google::LogMessage(where.file_name(), static_cast<int>(where.line()), severity).stream()
        << call << " failed: 0x" << std::hex << std::setw(8) << std::setfill('0') << static_cast<std::uint32_t>(hr);
    return true;
}

} // namespace Nolvar
