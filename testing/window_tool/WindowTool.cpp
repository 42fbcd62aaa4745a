// netsetter-wintool: finds, inspects and drives windows from outside their process (test code; run it with the same
// WINEPREFIX and DISPLAY as the program under test).
//
//   netsetter-wintool [options] <command> [arguments]
//
// <window> selects a window:
//   0x1A2B                       a window handle (hexadecimal or decimal)
//   class:NAME,title:TEXT,pid:N  the first visible top-level window matching every given key (any subset)
//   ...#ID                       then its first descendant with control id ID (e.g. "class:NetsetterSplash#1001")
//
// Commands:
//   find <window>                    print the handle ("0x..."); exit 1 when there is none
//   list [<window>]                  without <window>: visible top-level windows; with it: its descendants. One
//                                    line each: handle id class left top right bottom visible enabled "text"
//                                    (the client area in screen pixels; visible and enabled are 0 or 1)
//   info <window>                    the same line for the window itself
//   click <window> [x y]             left click at the client point (default: the centre)
//   rclick <window> [x y]            right click
//   hover <window> [x y]             move the pointer there
//   drag <window> x1 y1 x2 y2        press at (x1,y1), move to (x2,y2), release
//   wheel <window> delta [x y]       one wheel turn (120 = one notch up, -120 down) over the point
//   keys <window> key...             press keys: ENTER ESC TAB SPACE UP DOWN LEFT RIGHT PGUP PGDN HOME END F1..F24,
//                                    a letter or digit, or a virtual-key number (0x0D)
//   type <window> text               type the text as characters
//   command <window> id              post WM_COMMAND id (1 = IDOK, 2 = IDCANCEL, or a control's id)
//   close <window>                   post WM_CLOSE
//   pixel <window> x y               print the colour of the client pixel as RRGGBB (hexadecimal)
//   capture <window> file.bmp        save the client area as a 24-bit BMP
//   wait-gone <window>               wait until the window is gone (exit 1 when it stays)
//
// Options (before the command):
//   --wait MS    how long to wait for <window> to appear, and for wait-gone (default 10000)
//   --post       post mouse and key messages to the window instead of real input (SendInput)
//
// Exit codes: 0 done, 1 window not found or the action failed, 2 usage.
#include "testing/WindowProbe.h"

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using namespace Testing;

constexpr int kDone = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                      nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

void Print(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void PrintError(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

std::string HandleText(HWND window) {
    char buffer[32];
    std::snprintf(buffer, sizeof(buffer), "0x%llx",
                  static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(window)));
    return buffer;
}

std::string Describe(const WindowInfo& info) {
    std::string quoted;
    for (char c : Utf8(info.text)) {
        if (c == '"' || c == '\\') quoted += '\\';
        if (c == '\n') { quoted += "\\n"; continue; }
        if (c == '\r') { quoted += "\\r"; continue; }
        quoted += c;
    }
    const RECT& r = info.clientScreenRect;
    return HandleText(info.hwnd) + " " + std::to_string(info.controlId) + " " + Utf8(info.className) + " " +
           std::to_string(r.left) + " " + std::to_string(r.top) + " " + std::to_string(r.right) + " " +
           std::to_string(r.bottom) + " " + (info.visible ? "1" : "0") + " " + (info.enabled ? "1" : "0") + " \"" +
           quoted + "\"";
}

bool ParseNumber(const std::wstring& text, long long& value) {
    if (text.empty()) return false;
    wchar_t* end = nullptr;
    value = std::wcstoll(text.c_str(), &end, 0);
    return end && *end == L'\0';
}

struct Selector {
    HWND handle = nullptr;
    std::wstring className;
    std::wstring title;
    DWORD processId = 0;
    bool hasChildId = false;
    int childId = 0;
};

bool ParseSelector(const std::wstring& text, Selector& selector) {
    std::wstring top = text;
    const auto hash = text.rfind(L'#');
    if (hash != std::wstring::npos) {
        long long id = 0;
        if (!ParseNumber(text.substr(hash + 1), id)) return false;
        selector.hasChildId = true;
        selector.childId = static_cast<int>(id);
        top = text.substr(0, hash);
    }
    long long number = 0;
    if (ParseNumber(top, number)) {
        selector.handle = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(number));
        return true;
    }
    size_t start = 0;
    while (start <= top.size()) {
        size_t comma = top.find(L',', start);
        if (comma == std::wstring::npos) comma = top.size();
        const std::wstring part = top.substr(start, comma - start);
        if (part.rfind(L"class:", 0) == 0) {
            selector.className = part.substr(6);
        } else if (part.rfind(L"title:", 0) == 0) {
            selector.title = part.substr(6);
        } else if (part.rfind(L"pid:", 0) == 0) {
            long long pid = 0;
            if (!ParseNumber(part.substr(4), pid)) return false;
            selector.processId = static_cast<DWORD>(pid);
        } else {
            return false;
        }
        start = comma + 1;
    }
    return !selector.className.empty() || !selector.title.empty() || selector.processId != 0;
}

HWND Resolve(const Selector& selector, std::chrono::milliseconds wait) {
    const auto end = std::chrono::steady_clock::now() + wait;
    for (;;) {
        HWND top = selector.handle;
        if (!top) top = FindTopWindow(selector.className, selector.title, selector.processId);
        if (top && !IsWindow(top)) top = nullptr;
        HWND found = top;
        if (top && selector.hasChildId) found = FindDescendantById(top, selector.childId);
        if (found) return found;
        if (std::chrono::steady_clock::now() >= end) return nullptr;
        Sleep(50);
    }
}

void Usage() {
    PrintError("usage: netsetter-wintool [--wait MS] [--post] <command> [arguments]\n"
               "commands: find list info click rclick hover drag wheel keys type command close pixel capture "
               "wait-gone (see the source header)");
}

POINT CentreOf(HWND window) {
    RECT client{};
    GetClientRect(window, &client);
    return POINT{(client.left + client.right) / 2, (client.top + client.bottom) / 2};
}

// Client point from arguments [i], [i+1], or the centre when they are absent.
bool PointArgument(const std::vector<std::wstring>& args, size_t i, HWND window, POINT& point) {
    if (args.size() <= i) {
        point = CentreOf(window);
        return true;
    }
    long long x = 0;
    long long y = 0;
    if (args.size() < i + 2 || !ParseNumber(args[i], x) || !ParseNumber(args[i + 1], y)) return false;
    point = POINT{static_cast<LONG>(x), static_cast<LONG>(y)};
    return true;
}

int Run(std::vector<std::wstring> args) {
    std::chrono::milliseconds wait(10000);
    InputMode mode = InputMode::Real;
    while (!args.empty() && args.front().rfind(L"--", 0) == 0) {
        if (args.front() == L"--post") {
            mode = InputMode::Posted;
            args.erase(args.begin());
        } else if (args.front() == L"--wait" && args.size() >= 2) {
            long long ms = 0;
            if (!ParseNumber(args[1], ms) || ms < 0) return Usage(), kUsage;
            wait = std::chrono::milliseconds(ms);
            args.erase(args.begin(), args.begin() + 2);
        } else {
            return Usage(), kUsage;
        }
    }
    if (args.empty()) return Usage(), kUsage;
    const std::wstring command = args[0];

    if (command == L"list" && args.size() == 1) {
        struct Collector {
            static BOOL CALLBACK Add(HWND window, LPARAM param) {
                if (IsWindowVisible(window)) reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
                return TRUE;
            }
        };
        std::vector<HWND> tops;
        EnumWindows(Collector::Add, reinterpret_cast<LPARAM>(&tops));
        for (HWND top : tops) Print(Describe(DescribeWindow(top)));
        return kDone;
    }

    if (args.size() < 2) return Usage(), kUsage;
    Selector selector;
    if (!ParseSelector(args[1], selector)) {
        PrintError("bad window selector: " + Utf8(args[1]));
        return kUsage;
    }
    HWND window = Resolve(selector, command == L"wait-gone" ? std::chrono::milliseconds(0) : wait);
    if (command == L"wait-gone") {
        if (!window) return kDone;
        return WaitForWindowGone(window, wait) ? kDone : kFailed;
    }
    if (!window) {
        PrintError("no window: " + Utf8(args[1]));
        return kFailed;
    }

    if (command == L"find") {
        Print(HandleText(window));
        return kDone;
    }
    if (command == L"list") {
        for (const auto& info : ListDescendants(window)) Print(Describe(info));
        return kDone;
    }
    if (command == L"info") {
        Print(Describe(DescribeWindow(window)));
        return kDone;
    }
    if (command == L"click" || command == L"rclick" || command == L"hover") {
        POINT point{};
        if (!PointArgument(args, 2, window, point)) return Usage(), kUsage;
        if (mode == InputMode::Real) BringToFront(window);
        if (command == L"hover") return Hover(window, point, mode) ? kDone : kFailed;
        const MouseButton button = command == L"click" ? MouseButton::Left : MouseButton::Right;
        return Click(window, point, mode, button) ? kDone : kFailed;
    }
    if (command == L"drag") {
        POINT from{};
        POINT to{};
        if (args.size() != 6 || !PointArgument(args, 2, window, from) || !PointArgument(args, 4, window, to))
            return Usage(), kUsage;
        if (mode == InputMode::Real) BringToFront(window);
        return Drag(window, from, to, mode) ? kDone : kFailed;
    }
    if (command == L"wheel") {
        long long delta = 0;
        POINT point{};
        if (args.size() < 3 || !ParseNumber(args[2], delta) || !PointArgument(args, 3, window, point))
            return Usage(), kUsage;
        if (mode == InputMode::Real) BringToFront(window);
        return Wheel(window, static_cast<int>(delta), point, mode) ? kDone : kFailed;
    }
    if (command == L"keys") {
        std::vector<WORD> keys;
        for (size_t i = 2; i < args.size(); ++i) {
            const WORD key = VirtualKeyFromName(args[i]);
            if (key == 0) {
                PrintError("unknown key: " + Utf8(args[i]));
                return kUsage;
            }
            keys.push_back(key);
        }
        if (keys.empty()) return Usage(), kUsage;
        if (mode == InputMode::Real) BringToFront(window);
        return PressKeys(window, keys, mode) ? kDone : kFailed;
    }
    if (command == L"type") {
        if (args.size() != 3) return Usage(), kUsage;
        if (mode == InputMode::Real) BringToFront(window);
        return TypeText(window, args[2], mode) ? kDone : kFailed;
    }
    if (command == L"command") {
        long long id = 0;
        if (args.size() != 3 || !ParseNumber(args[2], id)) return Usage(), kUsage;
        return PostCommand(window, static_cast<int>(id)) ? kDone : kFailed;
    }
    if (command == L"close") {
        return PostClose(window) ? kDone : kFailed;
    }
    if (command == L"pixel") {
        POINT point{};
        if (args.size() != 4 || !PointArgument(args, 2, window, point)) return Usage(), kUsage;
        auto capture = CaptureClient(window);
        if (!capture || !capture->contains(point.x, point.y)) {
            PrintError("cannot read that pixel");
            return kFailed;
        }
        char buffer[16];
        std::snprintf(buffer, sizeof(buffer), "%06X", static_cast<unsigned>(capture->at(point.x, point.y)));
        Print(buffer);
        return kDone;
    }
    if (command == L"capture") {
        if (args.size() != 3) return Usage(), kUsage;
        auto capture = CaptureClient(window);
        if (!capture || !capture->saveBmp(args[2])) {
            PrintError("cannot capture the window");
            return kFailed;
        }
        return kDone;
    }
    Usage();
    return kUsage;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    // Real input and screen pixels are in physical pixels, whatever the window's DPI.
    SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    std::vector<std::wstring> args(argv + 1, argv + argc);
    return Run(std::move(args));
}
