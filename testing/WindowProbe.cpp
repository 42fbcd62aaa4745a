#include "testing/WindowProbe.h"

#include "testing/ChildProcess.h"
#include "testing/TestServer.h"

#include <algorithm>
#include <cwctype>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <thread>

namespace Testing {
namespace {

using Nolvar::Core::UniqueGdiObject;
using Nolvar::Core::UniqueHandle;
using Nolvar::Core::UniqueKernelHandle;
using Nolvar::Core::UniqueMemoryDc;


std::wstring ClassOf(HWND window) {
    wchar_t buffer[256] = {};
    const int n = GetClassNameW(window, buffer, 256);
    return std::wstring(buffer, n > 0 ? n : 0);
}

std::wstring TextOf(HWND window) {
    const int length = GetWindowTextLengthW(window);
    if (length <= 0) return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int n = GetWindowTextW(window, text.data(), length + 1);
    text.resize(n > 0 ? n : 0);
    return text;
}

struct TopSearch {
    const std::wstring* className;
    const std::wstring* title;
    DWORD processId;
    HWND found;
};

BOOL CALLBACK MatchTopWindow(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<TopSearch*>(param);
    if (!IsWindowVisible(window)) return TRUE;
    if (search->processId != 0) {
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        if (pid != search->processId) return TRUE;
    }
    if (!search->className->empty() && ClassOf(window) != *search->className) return TRUE;
    if (!search->title->empty() && TextOf(window) != *search->title) return TRUE;
    search->found = window;
    return FALSE;
}

void CollectDescendants(HWND parent, std::vector<WindowInfo>& out) {
    for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        out.push_back(DescribeWindow(child));
        CollectDescendants(child, out);
    }
}

bool OwnedByThisThread(HWND window) {
    return GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId();
}

// Lets the input reach the window: the owner handles it (our own windows need our message loop).
void LetInputArrive(HWND window) {
    if (OwnedByThisThread(window)) {
        PumpMessagesFor(std::chrono::milliseconds(30));
    } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
}

std::optional<POINT> ToScreen(HWND window, POINT clientPoint) {
    if (!IsWindow(window)) return std::nullopt;
    POINT p = clientPoint;
    if (!ClientToScreen(window, &p)) return std::nullopt;
    return p;
}

LONG AbsoluteCoordinate(LONG value, int origin, int extent) {
    // SendInput maps 0..65535 onto the screen; round up so the mapping lands on the pixel itself.
    if (extent <= 1) return 0;
    const long long scaled = (static_cast<long long>(value - origin) * 65536 + extent - 1) / extent;
    return static_cast<LONG>(std::clamp<long long>(scaled, 0, 65535));
}

bool SendMouse(DWORD flags, POINT screenPoint, DWORD data = 0) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dx = AbsoluteCoordinate(screenPoint.x, GetSystemMetrics(SM_XVIRTUALSCREEN),
                                     GetSystemMetrics(SM_CXVIRTUALSCREEN));
    input.mi.dy = AbsoluteCoordinate(screenPoint.y, GetSystemMetrics(SM_YVIRTUALSCREEN),
                                     GetSystemMetrics(SM_CYVIRTUALSCREEN));
    input.mi.dwFlags = flags | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_VIRTUALDESK;
    input.mi.mouseData = data;
    return SendInput(1, &input, sizeof(input)) == 1;
}

bool MovePointer(POINT screenPoint) {
    SetCursorPos(screenPoint.x, screenPoint.y);
    return SendMouse(MOUSEEVENTF_MOVE, screenPoint);
}

LPARAM ClientLParam(POINT p) {
    return MAKELPARAM(static_cast<short>(p.x), static_cast<short>(p.y));
}

bool SendKey(WORD virtualKey, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtualKey;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC));
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    return SendInput(1, &input, sizeof(input)) == 1;
}

LPARAM KeyLParam(WORD virtualKey, bool up) {
    const UINT scan = MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC);
    LPARAM lp = 1 | (static_cast<LPARAM>(scan & 0xFF) << 16);
    if (up) lp |= (1LL << 30) | (1LL << 31);
    return lp;
}

} // namespace

HWND FindTopWindow(const std::wstring& className, const std::wstring& title, DWORD processId) {
    TopSearch search{&className, &title, processId, nullptr};
    EnumWindows(MatchTopWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForTopWindow(const std::wstring& className, const std::wstring& title, std::chrono::milliseconds timeout,
                      DWORD processId) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (HWND found = FindTopWindow(className, title, processId)) return found;
        if (std::chrono::steady_clock::now() >= end) return nullptr;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

bool WaitForWindowGone(HWND window, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (IsWindow(window)) {
        if (std::chrono::steady_clock::now() >= end) return false;
        if (OwnedByThisThread(window)) {
            PumpMessagesFor(std::chrono::milliseconds(20));
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    return true;
}

WindowInfo DescribeWindow(HWND window) {
    WindowInfo info;
    info.hwnd = window;
    info.controlId = static_cast<int>(GetWindowLongPtrW(window, GWLP_ID));
    info.className = ClassOf(window);
    info.text = TextOf(window);
    GetWindowRect(window, &info.screenRect);
    RECT client{};
    GetClientRect(window, &client);
    POINT topLeft{client.left, client.top};
    POINT bottomRight{client.right, client.bottom};
    ClientToScreen(window, &topLeft);
    ClientToScreen(window, &bottomRight);
    info.clientScreenRect = RECT{topLeft.x, topLeft.y, bottomRight.x, bottomRight.y};
    info.visible = IsWindowVisible(window) != FALSE;
    info.enabled = IsWindowEnabled(window) != FALSE;
    info.parent = GetAncestor(window, GA_PARENT);
    return info;
}

std::vector<WindowInfo> ListDescendants(HWND parent) {
    std::vector<WindowInfo> out;
    if (IsWindow(parent)) CollectDescendants(parent, out);
    return out;
}

HWND FindDescendantById(HWND parent, int controlId) {
    for (const auto& info : ListDescendants(parent))
        if (info.controlId == controlId) return info.hwnd;
    return nullptr;
}

HWND FindDescendantByClass(HWND parent, const std::wstring& className, const std::wstring& title) {
    for (const auto& info : ListDescendants(parent))
        if (info.className == className && (title.empty() || info.text == title)) return info.hwnd;
    return nullptr;
}

void BringToFront(HWND window) {
    HWND top = GetAncestor(window, GA_ROOT);
    if (!top) return;
    SetForegroundWindow(top);
    BringWindowToTop(top);
    LetInputArrive(window);
}

bool Hover(HWND window, POINT clientPoint, InputMode mode) {
    auto screen = ToScreen(window, clientPoint);
    if (!screen) return false;
    bool ok = mode == InputMode::Real ? MovePointer(*screen)
                                      : PostMessageW(window, WM_MOUSEMOVE, 0, ClientLParam(clientPoint)) != FALSE;
    LetInputArrive(window);
    return ok;
}

bool Click(HWND window, POINT clientPoint, InputMode mode, MouseButton button) {
    auto screen = ToScreen(window, clientPoint);
    if (!screen) return false;
    const bool left = button == MouseButton::Left;
    bool ok = true;
    if (mode == InputMode::Real) {
        ok = MovePointer(*screen);
        LetInputArrive(window);
        ok = ok && SendMouse(left ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_RIGHTDOWN, *screen);
        LetInputArrive(window);
        ok = ok && SendMouse(left ? MOUSEEVENTF_LEFTUP : MOUSEEVENTF_RIGHTUP, *screen);
    } else {
        const LPARAM lp = ClientLParam(clientPoint);
        ok = PostMessageW(window, WM_MOUSEMOVE, 0, lp) &&
             PostMessageW(window, left ? WM_LBUTTONDOWN : WM_RBUTTONDOWN, left ? MK_LBUTTON : MK_RBUTTON, lp) &&
             PostMessageW(window, left ? WM_LBUTTONUP : WM_RBUTTONUP, 0, lp);
    }
    LetInputArrive(window);
    return ok;
}

bool ClickCenter(HWND window, InputMode mode) {
    RECT client{};
    if (!GetClientRect(window, &client)) return false;
    return Click(window, POINT{(client.left + client.right) / 2, (client.top + client.bottom) / 2}, mode);
}

bool Drag(HWND window, POINT from, POINT to, InputMode mode) {
    constexpr int steps = 8;
    auto start = ToScreen(window, from);
    if (!start) return false;
    bool ok = true;
    if (mode == InputMode::Real) {
        ok = MovePointer(*start);
        LetInputArrive(window);
        ok = ok && SendMouse(MOUSEEVENTF_LEFTDOWN, *start);
    } else {
        ok = PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, ClientLParam(from)) != FALSE;
    }
    LetInputArrive(window);
    for (int i = 1; i <= steps && ok; ++i) {
        POINT p{from.x + (to.x - from.x) * i / steps, from.y + (to.y - from.y) * i / steps};
        if (mode == InputMode::Real) {
            auto screen = ToScreen(window, p);
            ok = screen && MovePointer(*screen);
        } else {
            ok = PostMessageW(window, WM_MOUSEMOVE, MK_LBUTTON, ClientLParam(p)) != FALSE;
        }
        LetInputArrive(window);
    }
    if (mode == InputMode::Real) {
        auto end = ToScreen(window, to);
        ok = ok && end && SendMouse(MOUSEEVENTF_LEFTUP, *end);
    } else {
        ok = ok && PostMessageW(window, WM_LBUTTONUP, 0, ClientLParam(to));
    }
    LetInputArrive(window);
    return ok;
}

bool Wheel(HWND window, int delta, POINT clientPoint, InputMode mode) {
    auto screen = ToScreen(window, clientPoint);
    if (!screen) return false;
    bool ok = true;
    if (mode == InputMode::Real) {
        ok = MovePointer(*screen);
        LetInputArrive(window);
        ok = ok && SendMouse(MOUSEEVENTF_WHEEL, *screen, static_cast<DWORD>(delta));
    } else {
        const WPARAM wp = MAKEWPARAM(0, static_cast<short>(delta));
        ok = PostMessageW(window, WM_MOUSEWHEEL, wp,
                          MAKELPARAM(static_cast<short>(screen->x), static_cast<short>(screen->y))) != FALSE;
    }
    LetInputArrive(window);
    return ok;
}

bool PressKeys(HWND window, const std::vector<WORD>& virtualKeys, InputMode mode) {
    bool ok = true;
    for (WORD key : virtualKeys) {
        if (mode == InputMode::Real) {
            ok = SendKey(key, false) && SendKey(key, true) && ok;
        } else {
            ok = PostMessageW(window, WM_KEYDOWN, key, KeyLParam(key, false)) &&
                 PostMessageW(window, WM_KEYUP, key, KeyLParam(key, true)) && ok;
        }
        LetInputArrive(window);
    }
    return ok;
}

bool TypeText(HWND window, const std::wstring& text, InputMode mode) {
    bool ok = true;
    for (wchar_t c : text) {
        if (mode == InputMode::Real) {
            INPUT inputs[2] = {};
            for (int i = 0; i < 2; ++i) {
                inputs[i].type = INPUT_KEYBOARD;
                inputs[i].ki.wScan = c;
                inputs[i].ki.dwFlags = KEYEVENTF_UNICODE | (i == 1 ? KEYEVENTF_KEYUP : 0);
            }
            ok = SendInput(2, inputs, sizeof(INPUT)) == 2 && ok;
        } else {
            ok = PostMessageW(window, WM_CHAR, c, 1) && ok;
        }
    }
    LetInputArrive(window);
    return ok;
}

WORD VirtualKeyFromName(const std::wstring& name) {
    std::wstring upper = name;
    std::transform(upper.begin(), upper.end(), upper.begin(), [](wchar_t c) { return std::towupper(c); });
    static const std::pair<const wchar_t*, WORD> names[] = {
        {L"ENTER", VK_RETURN}, {L"RETURN", VK_RETURN}, {L"ESC", VK_ESCAPE}, {L"ESCAPE", VK_ESCAPE},
        {L"TAB", VK_TAB},      {L"SPACE", VK_SPACE},   {L"UP", VK_UP},      {L"DOWN", VK_DOWN},
        {L"LEFT", VK_LEFT},    {L"RIGHT", VK_RIGHT},   {L"PGUP", VK_PRIOR}, {L"PAGEUP", VK_PRIOR},
        {L"PGDN", VK_NEXT},    {L"PAGEDOWN", VK_NEXT}, {L"HOME", VK_HOME},  {L"END", VK_END},
        {L"BACK", VK_BACK},    {L"BACKSPACE", VK_BACK}, {L"DELETE", VK_DELETE}, {L"SHIFT", VK_SHIFT},
        {L"CTRL", VK_CONTROL}, {L"ALT", VK_MENU},
    };
    for (const auto& [keyName, key] : names)
        if (upper == keyName) return key;
    if (upper.size() >= 2 && upper[0] == L'F' && std::iswdigit(upper[1])) {
        const int n = _wtoi(upper.c_str() + 1);
        if (n >= 1 && n <= 24) return static_cast<WORD>(VK_F1 + n - 1);
    }
    if (upper.size() == 1 && (std::iswalnum(upper[0]) != 0) && upper[0] < 128) return static_cast<WORD>(upper[0]);
    if (!upper.empty() && std::iswdigit(upper[0])) {
        wchar_t* end = nullptr;
        const unsigned long value = std::wcstoul(upper.c_str(), &end, 0);
        if (end && *end == L'\0' && value > 0 && value < 256) return static_cast<WORD>(value);
    }
    return 0;
}

bool PostCommand(HWND window, int id) {
    return PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0) != FALSE;
}

bool PostClose(HWND window) {
    return PostMessageW(window, WM_CLOSE, 0, 0) != FALSE;
}

bool Capture::saveBmp(const std::wstring& file) const {
    if (width <= 0 || height <= 0) return false;
    const int rowBytes = (width * 3 + 3) & ~3;
    BITMAPFILEHEADER header{};
    BITMAPINFOHEADER info{};
    info.biSize = sizeof(info);
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biSizeImage = static_cast<DWORD>(rowBytes) * height;
    header.bfType = 0x4D42;
    header.bfOffBits = sizeof(header) + sizeof(info);
    header.bfSize = header.bfOffBits + info.biSizeImage;
    std::ofstream out(std::filesystem::path(file), std::ios::binary);
    out.write(reinterpret_cast<const char*>(&header), sizeof(header));
    out.write(reinterpret_cast<const char*>(&info), sizeof(info));
    std::vector<char> row(rowBytes, 0);
    for (int y = height - 1; y >= 0; --y) {
        for (int x = 0; x < width; ++x) {
            const std::uint32_t c = at(x, y);
            row[x * 3] = static_cast<char>(Blue(c));
            row[x * 3 + 1] = static_cast<char>(Green(c));
            row[x * 3 + 2] = static_cast<char>(Red(c));
        }
        out.write(row.data(), rowBytes);
    }
    return static_cast<bool>(out);
}

UniqueGdiObject<HBITMAP> CreatePixelBitmap(HDC dc, int width, int height, std::uint32_t*& bits) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* pixels = nullptr;
    UniqueGdiObject<HBITMAP> bitmap(CreateDIBSection(dc, &info, DIB_RGB_COLORS, &pixels, nullptr, 0));
    bits = bitmap ? static_cast<std::uint32_t*>(pixels) : nullptr;
    if (!bits) bitmap.reset();
    return bitmap;
}

std::optional<Capture> CaptureScreen(RECT area) {
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    if (width <= 0 || height <= 0) return std::nullopt;
    Nolvar::Core::UniqueReleasedDc screen({nullptr, GetDC(nullptr)});
    if (!screen) return std::nullopt;
    const HDC screenDc = screen.get().second;
    UniqueMemoryDc memory(CreateCompatibleDC(screenDc));
    if (!memory) return std::nullopt;
    std::uint32_t* bits = nullptr;
    UniqueGdiObject<HBITMAP> bitmap = CreatePixelBitmap(screenDc, width, height, bits);
    if (!bitmap) return std::nullopt;
    const Nolvar::Core::UniqueSelection selected = Nolvar::Core::SelectInto(memory.get(), bitmap.get());
    // Only the part on the screen is copied (the X server refuses a copy from beyond it); the rest stays black.
    const RECT screenRect{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    RECT visible{};
    const bool copied = IntersectRect(&visible, &area, &screenRect) &&
                        BitBlt(memory.get(), visible.left - area.left, visible.top - area.top,
                               visible.right - visible.left, visible.bottom - visible.top, screenDc, visible.left,
                               visible.top, SRCCOPY | CAPTUREBLT) != FALSE;
    GdiFlush();
    Capture capture;
    if (copied) {
        capture.width = width;
        capture.height = height;
        capture.pixels.assign(bits, bits + static_cast<size_t>(width) * height);
        for (auto& pixel : capture.pixels) pixel &= 0xFFFFFF;
    }
    if (!copied) return std::nullopt;
    return capture;
}

std::optional<Capture> CaptureClient(HWND window) {
    if (!IsWindow(window)) return std::nullopt;
    return CaptureScreen(DescribeWindow(window).clientScreenRect);
}

std::optional<Capture> CaptureClientAfterRepaint(HWND window) {
    if (!IsWindow(window)) return std::nullopt;
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    if (OwnedByThisThread(window)) {
        PumpMessagesFor(std::chrono::milliseconds(200));
    } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    return CaptureClient(window);
}

bool ColourNear(std::uint32_t actual, std::uint32_t expected, int tolerance) {
    return std::abs(Red(actual) - Red(expected)) <= tolerance && std::abs(Green(actual) - Green(expected)) <= tolerance &&
           std::abs(Blue(actual) - Blue(expected)) <= tolerance;
}

bool IsDark(std::uint32_t colour, int limit) {
    return std::max({Red(colour), Green(colour), Blue(colour)}) <= limit;
}

void PumpMessagesFor(std::chrono::milliseconds duration) {
    const auto end = std::chrono::steady_clock::now() + duration;
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        const auto now = std::chrono::steady_clock::now();
        if (now >= end) return;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - now).count();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(std::min<long long>(left, 10)), QS_ALLINPUT);
    }
}

std::wstring WindowToolPath() {
    const std::string bin = HarnessVariable("NETSETTER_BIN_DIR");
    std::wstring wide(bin.size(), L'\0');
    const int n = MultiByteToWideChar(CP_UTF8, 0, bin.data(), static_cast<int>(bin.size()), wide.data(),
                                      static_cast<int>(wide.size()));
    wide.resize(n > 0 ? n : 0);
    if (!wide.empty() && wide.back() != L'/' && wide.back() != L'\\') wide += L'\\';
    return wide + L"netsetter-wintool.exe";
}

ToolResult RunWindowTool(const std::vector<std::wstring>& arguments, std::chrono::milliseconds timeout) {
    ToolResult result;
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    HANDLE readRaw = nullptr;
    HANDLE writeRaw = nullptr;
    if (!CreatePipe(&readRaw, &writeRaw, &inherit, 0)) return result;
    UniqueKernelHandle readEnd(readRaw);
    UniqueKernelHandle writeEnd(writeRaw);
    SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);
    std::optional<ChildProcess> tool;
    try {
        tool.emplace(WindowToolPath(), arguments, ChildProcess::Lifetime::Own, writeEnd.get());
    } catch (const std::runtime_error&) {
        return result;
    }
    writeEnd.reset();
    std::string output;
    std::thread reader([&output, pipe = readEnd.get()] {
        char buffer[4096];
        DWORD n = 0;
        while (ReadFile(pipe, buffer, sizeof(buffer), &n, nullptr) && n > 0) output.append(buffer, n);
    });
    const bool ended = PumpMessagesUntil([&] { return !tool->running(); }, timeout);
    if (!ended) tool->terminate();
    const int code = tool->wait(std::chrono::milliseconds(INFINITE));
    reader.join();
    result.exitCode = ended ? code : -1;
    result.output = std::move(output);
    return result;
}

} // namespace Testing
