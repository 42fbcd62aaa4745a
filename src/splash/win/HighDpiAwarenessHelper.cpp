#include "splash/win/HighDpiAwarenessHelper.h"

#include <utility>

namespace Nolvar {
namespace {

bool SystemAtLeast(DWORD major, DWORD minor) {
    OSVERSIONINFOEXW wanted{};
    wanted.dwOSVersionInfoSize = sizeof(wanted);
    wanted.dwMajorVersion = major;
    wanted.dwMinorVersion = minor;
    wanted.wServicePackMajor = 0;
    DWORDLONG mask = 0;
    mask = VerSetConditionMask(mask, VER_MAJORVERSION, VER_GREATER_EQUAL);
    mask = VerSetConditionMask(mask, VER_MINORVERSION, VER_GREATER_EQUAL);
    mask = VerSetConditionMask(mask, VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
    return VerifyVersionInfoW(&wanted, VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR, mask) != FALSE;
}

template <class Fn>
Fn LookUp(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

constexpr int kMonitorEffectiveDpi = 0;  // MDT_EFFECTIVE_DPI

} // namespace

HighDpiAwarenessHelper::HighDpiAwarenessHelper(bool lookUpEntryPoints) {
    if (!lookUpEntryPoints) return;
    m_user32.reset(LoadLibraryExW(L"user32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
    m_shcore.reset(LoadLibraryExW(L"SHCore.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
    const bool newUser32 = m_user32 && SystemAtLeast(6, 5);
    if (newUser32) m_getDpiForWindow = LookUp<GetDpiForWindowFn>(m_user32.get(), "GetDpiForWindow");
    if (m_shcore && SystemAtLeast(6, 3))
        m_getDpiForMonitor = LookUp<GetDpiForMonitorFn>(m_shcore.get(), "GetDpiForMonitor");
    if (newUser32)
        m_getSystemMetricsForDpi = LookUp<GetSystemMetricsForDpiFn>(m_user32.get(), "GetSystemMetricsForDpi");
}

void HighDpiAwarenessHelper::update(HWND window) {
    if (m_getDpiForWindow) {
        if (const UINT dpi = m_getDpiForWindow(window); dpi != 0) m_dpi = dpi;
        return;
    }
    if (m_getDpiForMonitor) {
        UINT x = 0;
        UINT y = 0;
        HMONITOR monitor = MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST);
        if (SUCCEEDED(m_getDpiForMonitor(monitor, kMonitorEffectiveDpi, &x, &y)) && x != 0) m_dpi = x;
        return;
    }
    Core::UniqueReleasedDc dc({window, GetWindowDC(window)});
    if (!dc) return;
    if (const int dpi = GetDeviceCaps(dc.get().second, LOGPIXELSY); dpi > 0) m_dpi = static_cast<unsigned>(dpi);
}

int HighDpiAwarenessHelper::metric(int index) const {
    if (m_getSystemMetricsForDpi) return m_getSystemMetricsForDpi(index, m_dpi.load());
    return GetSystemMetrics(index);
}

IHighDpiAwarenessHelper& HighDpiAwareness() {
    static HighDpiAwarenessHelper helper;
    return helper;
}

int ScaleForDpi(long long value, unsigned dpi) {
    return static_cast<int>(value * static_cast<long long>(dpi) / 96);
}

} // namespace Nolvar
