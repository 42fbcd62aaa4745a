#include "QorOS/SystemInfo.h"

#include <windows.h>

namespace Nolvar::Core {

Version GetSystemVersion() {
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    if (HMODULE ntdll = GetModuleHandleW(L"ntdll.dll")) {
        auto rtlGetVersion = reinterpret_cast<RtlGetVersionFn>(
            reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")));
        if (rtlGetVersion && rtlGetVersion(&info) == 0)
            return Version{info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber, 0};
    }
    return {};
}

std::string SystemName() { return "Windows"; }

std::string SystemVersion(std::string_view separator) { return Util::VersionToString(GetSystemVersion(), 3, separator); }

std::string AppBits() { return sizeof(void*) == 8 ? "64" : "32"; }

std::string ProcessorArchitecture() {
    SYSTEM_INFO info{};
    GetNativeSystemInfo(&info);
    switch (info.wProcessorArchitecture) {
    case PROCESSOR_ARCHITECTURE_AMD64: return "x64";
    case PROCESSOR_ARCHITECTURE_ARM64: return "arm64";
    case PROCESSOR_ARCHITECTURE_INTEL: return "x86";
    default: return "unknown";
    }
}

bool IsRunningOnRosetta() {
    using IsWow64Process2Fn = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    if (!kernel) return false;
    auto isWow64Process2 =
        reinterpret_cast<IsWow64Process2Fn>(reinterpret_cast<void*>(GetProcAddress(kernel, "IsWow64Process2")));
    USHORT processMachine = 0;
    USHORT nativeMachine = 0;
    if (!isWow64Process2 || !isWow64Process2(GetCurrentProcess(), &processMachine, &nativeMachine)) return false;
    constexpr USHORT kArm64Machine = 0xAA64;
    return nativeMachine == kArm64Machine && sizeof(void*) == 8;
}

} // namespace Nolvar::Core
