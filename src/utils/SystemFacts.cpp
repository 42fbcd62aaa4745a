#include "utils/SystemFacts.h"

#include <windows.h>

#include <boost/io/quoted.hpp>
#include <fmt/format.h>
#include <glog/logging.h>

#include "QorOS/SystemInfo.h"
#include "utils/SettingsInit.h"

namespace Nolvar {

std::uint64_t GetFreeDiskSpace(const ioPath& path) {
    ULARGE_INTEGER available{};
    if (!GetDiskFreeSpaceExW(path.c_str(), &available, nullptr, nullptr)) {
        const DWORD error = GetLastError();  // before logging, which may change it
        LOG(INFO) << "GetDiskFreeSpaceExW failed. HRESULT: " << error;
        return kUnknownDiskSpace;
    }
    // The path library's quoted form ('&' escapes), in UTF-8 rather than the ANSI code page.
    LOG(INFO) << "Path " << boost::io::quoted(Core::Utf8FromPath(path), '&') << " has " << available.QuadPart
              << " bytes available";
    return available.QuadPart;
}

std::string GetOsName() { return "Windows"; }

std::string GetOsBits() { return "64"; }

std::string GetOsEdition() {
    static const BYTE productType = [] {
        OSVERSIONINFOEXW info{};
        info.dwOSVersionInfoSize = sizeof(info);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
        if (!GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info))) return BYTE{0};
#pragma GCC diagnostic pop
        return info.wProductType;
    }();
    switch (productType) {
    case VER_NT_WORKSTATION: return "Workstation";
    case VER_NT_DOMAIN_CONTROLLER: return "Domain controller";
    case VER_NT_SERVER: return "Server";
    default: return "";
    }
}

std::string GetOsVersion() { return Core::Util::VersionToString(Core::GetSystemVersion(), 1, "."); }

// Settings read as text; one that holds another type (a malformed command line) counts as unset.
std::string MakeUserAgent() {
    using Settings::GetText;
    return fmt::format("{} {} {} {}", GetText(Settings::ID::BrandName), GetText(Settings::ID::ProductId),
                       GetText(Settings::ID::ProductVersion, GetText(Settings::ID::InstallerVersion, "1.0.0.0")), "web");
}

std::string MakeUserAgentHeader() { return "User-Agent: " + MakeUserAgent(); }

} // namespace Nolvar
