#pragma once
// The DPI the splash lays its windows out for: the last DPI measured for one of its windows, and screen metrics at
// that DPI. The newer system calls are looked up at run time, with fallbacks for systems that lack them.
#include <windows.h>

#include <atomic>

#include "QorPointer/UniqueHandle.h"

namespace Nolvar {

class IHighDpiAwarenessHelper {
public:
    virtual ~IHighDpiAwarenessHelper() = default;
    // Measures the window's DPI and remembers it (a measured 0 keeps the old value).
    virtual void update(HWND window) = 0;
    // The remembered DPI, initially 96.
    virtual unsigned dpi() const = 0;
    // GetSystemMetrics(index) at the remembered DPI.
    virtual int metric(int index) const = 0;
};

class HighDpiAwarenessHelper final : public IHighDpiAwarenessHelper {
public:
    // `lookUpEntryPoints` false behaves as on a system without the newer calls.
    explicit HighDpiAwarenessHelper(bool lookUpEntryPoints = true);

    void update(HWND window) override;
    unsigned dpi() const override { return m_dpi.load(); }
    int metric(int index) const override;

private:
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    using GetSystemMetricsForDpiFn = int(WINAPI*)(int, UINT);
    using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);

    std::atomic<unsigned> m_dpi{96};
    Core::UniqueModule m_user32;
    Core::UniqueModule m_shcore;
    GetDpiForWindowFn m_getDpiForWindow = nullptr;
    GetSystemMetricsForDpiFn m_getSystemMetricsForDpi = nullptr;
    GetDpiForMonitorFn m_getDpiForMonitor = nullptr;
};

// The process-wide helper every window and widget reads.
IHighDpiAwarenessHelper& HighDpiAwareness();

// value x dpi / 96, truncated, computed in 64 bits.
int ScaleForDpi(long long value, unsigned dpi);

} // namespace Nolvar
