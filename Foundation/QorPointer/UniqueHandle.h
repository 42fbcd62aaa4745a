#pragma once
// One owner type for every kind of Windows handle: a move-only holder parameterised by traits that say what the
// empty value is, which values count as empty, and how a handle is closed.
//
// Closing keeps the calling thread's last error: an owner going out of scope between a failed call and the
// GetLastError() that reads its cause must not overwrite it.
//
// COM objects are held by Microsoft::WRL::ComPtr (<wrl/client.h>), not by this type.

#include <windows.h>
#include <bcrypt.h>

#include <utility>

namespace Nolvar::Core {

// Traits: `using pointer = ...;` `static pointer invalid() noexcept;` `static bool isValid(pointer) noexcept;`
// `static void close(pointer) noexcept;`
template <class Traits>
class UniqueHandle {
public:
    using pointer = typename Traits::pointer;

    UniqueHandle() noexcept = default;
    explicit UniqueHandle(pointer handle) noexcept : m_handle(handle) {}
    ~UniqueHandle() { reset(); }

    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : m_handle(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }

    pointer get() const noexcept { return m_handle; }
    bool valid() const noexcept { return Traits::isValid(m_handle); }
    explicit operator bool() const noexcept { return valid(); }

    // Gives up ownership without closing.
    pointer release() noexcept { return std::exchange(m_handle, Traits::invalid()); }

    // Closes the current handle (if any) and takes `handle`.
    void reset(pointer handle = Traits::invalid()) noexcept {
        const pointer old = std::exchange(m_handle, handle);
        if (Traits::isValid(old) && old != handle) {
            const DWORD lastError = ::GetLastError();
            Traits::close(old);
            ::SetLastError(lastError);
        }
    }

    // For out-parameters: closes the current handle and returns the slot to fill.
    pointer* put() noexcept {
        reset();
        return &m_handle;
    }

private:
    pointer m_handle = Traits::invalid();
};

namespace HandleTraits {

// Kernel objects: files, processes, threads, events, mutexes, change notifications. Both null and
// INVALID_HANDLE_VALUE mean "no handle", whichever one the creating call returns on failure.
struct Kernel {
    using pointer = HANDLE;
    static pointer invalid() noexcept { return nullptr; }
    static bool isValid(pointer h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void close(pointer h) noexcept { ::CloseHandle(h); }
};

// Change notifications from FindFirstChangeNotification: INVALID_HANDLE_VALUE on failure, closed by their own call.
struct ChangeNotification {
    using pointer = HANDLE;
    static pointer invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static bool isValid(pointer h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void close(pointer h) noexcept { ::FindCloseChangeNotification(h); }
};

struct FindFile {
    using pointer = HANDLE;
    static pointer invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static bool isValid(pointer h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void close(pointer h) noexcept { ::FindClose(h); }
};

struct RegistryKey {
    using pointer = HKEY;
    static pointer invalid() noexcept { return nullptr; }
    static bool isValid(pointer h) noexcept { return h != nullptr; }
    static void close(pointer h) noexcept { ::RegCloseKey(h); }
};

struct Module {
    using pointer = HMODULE;
    static pointer invalid() noexcept { return nullptr; }
    static bool isValid(pointer h) noexcept { return h != nullptr; }
    static void close(pointer h) noexcept { ::FreeLibrary(h); }
};

struct Window {
    using pointer = HWND;
    static pointer invalid() noexcept { return nullptr; }
    static bool isValid(pointer h) noexcept { return h != nullptr; }
    static void close(pointer h) noexcept { ::DestroyWindow(h); }
};

// Pens, brushes, fonts, bitmaps, regions: anything DeleteObject releases.
template <class T>
struct GdiObject {
    using pointer = T;
    static pointer invalid() noexcept { return nullptr; }
    static bool isValid(pointer h) noexcept { return h != nullptr; }
    static void close(pointer h) noexcept { ::DeleteObject(h); }
};

struct Icon {
    using pointer = HICON;
    static pointer invalid() noexcept { return nullptr; }
    static bool isValid(pointer h) noexcept { return h != nullptr; }
    static void close(pointer h) noexcept { ::DestroyIcon(h); }
};

// DCs from GetDC or GetWindowDC, held with their window (null for the screen): ReleaseDC needs both.
struct ReleasedDc {
    using pointer = std::pair<HWND, HDC>;
    static pointer invalid() noexcept { return {nullptr, nullptr}; }
    static bool isValid(const pointer& h) noexcept { return h.second != nullptr; }
    static void close(const pointer& h) noexcept { ::ReleaseDC(h.first, h.second); }
};

// A GDI object selected into a DC, held as the DC and the object it replaced: closing selects that one back.
// (Not for regions, whose SelectObject answers no object.)
struct Selection {
    using pointer = std::pair<HDC, HGDIOBJ>;
    static pointer invalid() noexcept { return {nullptr, nullptr}; }
    static bool isValid(const pointer& h) noexcept { return h.first != nullptr && h.second != nullptr; }
    static void close(const pointer& h) noexcept { ::SelectObject(h.first, h.second); }
};

// Hooks from SetWindowsHookEx.
struct Hook {
    using pointer = HHOOK;
    static pointer invalid() noexcept { return nullptr; }
    static bool isValid(pointer h) noexcept { return h != nullptr; }
    static void close(pointer h) noexcept { ::UnhookWindowsHookEx(h); }
};

// Memory DCs from CreateCompatibleDC (not DCs from GetDC, which are released, not deleted).
struct MemoryDc {
    using pointer = HDC;
    static pointer invalid() noexcept { return nullptr; }
    static bool isValid(pointer h) noexcept { return h != nullptr; }
    static void close(pointer h) noexcept { ::DeleteDC(h); }
};

// Memory a call allocated for the caller with LocalAlloc (CommandLineToArgvW, FormatMessage), typed as what it holds.
template <class T>
struct LocalMemory {
    using pointer = T;
    static pointer invalid() noexcept { return nullptr; }
    static bool isValid(pointer h) noexcept { return h != nullptr; }
    static void close(pointer h) noexcept { ::LocalFree(reinterpret_cast<HLOCAL>(h)); }
};

// Memory a call allocated for the caller with GlobalAlloc (WinHTTP's proxy texts), typed as what it holds.
template <class T>
struct GlobalMemory {
    using pointer = T;
    static pointer invalid() noexcept { return nullptr; }
    static bool isValid(pointer h) noexcept { return h != nullptr; }
    static void close(pointer h) noexcept { ::GlobalFree(reinterpret_cast<HGLOBAL>(h)); }
};

// Memory a COM call allocated for the caller (CoTaskMemAlloc: known-folder paths, shell item names).
template <class T>
struct CoTaskMemory {
    using pointer = T;
    static pointer invalid() noexcept { return nullptr; }
    static bool isValid(pointer h) noexcept { return h != nullptr; }
    static void close(pointer h) noexcept { ::CoTaskMemFree(h); }
};

// CNG algorithm providers from BCryptOpenAlgorithmProvider.
struct BCryptAlgorithm {
    using pointer = BCRYPT_ALG_HANDLE;
    static pointer invalid() noexcept { return nullptr; }
    static bool isValid(pointer h) noexcept { return h != nullptr; }
    static void close(pointer h) noexcept { ::BCryptCloseAlgorithmProvider(h, 0); }
};

// CNG hash objects from BCryptCreateHash.
struct BCryptHash {
    using pointer = BCRYPT_HASH_HANDLE;
    static pointer invalid() noexcept { return nullptr; }
    static bool isValid(pointer h) noexcept { return h != nullptr; }
    static void close(pointer h) noexcept { ::BCryptDestroyHash(h); }
};

}  // namespace HandleTraits

using UniqueKernelHandle = UniqueHandle<HandleTraits::Kernel>;
using UniqueFindHandle = UniqueHandle<HandleTraits::FindFile>;
using UniqueRegKey = UniqueHandle<HandleTraits::RegistryKey>;
using UniqueModule = UniqueHandle<HandleTraits::Module>;
using UniqueWindow = UniqueHandle<HandleTraits::Window>;
template <class T>
using UniqueGdiObject = UniqueHandle<HandleTraits::GdiObject<T>>;
using UniqueIcon = UniqueHandle<HandleTraits::Icon>;
using UniqueMemoryDc = UniqueHandle<HandleTraits::MemoryDc>;
using UniqueReleasedDc = UniqueHandle<HandleTraits::ReleasedDc>;
using UniqueHook = UniqueHandle<HandleTraits::Hook>;
using UniqueSelection = UniqueHandle<HandleTraits::Selection>;
template <class T>
using UniqueLocalPtr = UniqueHandle<HandleTraits::LocalMemory<T>>;
using UniqueLocalMemory = UniqueLocalPtr<HLOCAL>;
template <class T>
using UniqueGlobalPtr = UniqueHandle<HandleTraits::GlobalMemory<T>>;
template <class T>
using UniqueCoTaskPtr = UniqueHandle<HandleTraits::CoTaskMemory<T>>;
using UniqueChangeNotification = UniqueHandle<HandleTraits::ChangeNotification>;
using UniqueBCryptAlgorithm = UniqueHandle<HandleTraits::BCryptAlgorithm>;
using UniqueBCryptHash = UniqueHandle<HandleTraits::BCryptHash>;

// Selects `object` into `dc` until the owner goes (empty when the selection failed).
inline UniqueSelection SelectInto(HDC dc, HGDIOBJ object) noexcept {
    return UniqueSelection({dc, dc && object ? ::SelectObject(dc, object) : nullptr});
}

}  // namespace Nolvar::Core
