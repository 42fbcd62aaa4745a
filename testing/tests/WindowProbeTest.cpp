// The window probe and the window tool drive a real window of this process: found by class, listed with its
// child's id and rectangle, clicked, typed at, scrolled and read back as pixels.
#include "testing/WindowProbe.h"

#include "QorPointer/UniqueHandle.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

namespace {

using namespace Testing;
using namespace std::chrono_literals;

constexpr wchar_t kParentClass[] = L"NetsetterProbeParent";
constexpr wchar_t kChildClass[] = L"NetsetterProbeChild";
constexpr int kChildId = 1001;
constexpr COLORREF kParentColour = RGB(0x20, 0x40, 0xC0);
constexpr COLORREF kChildColour = RGB(0xE0, 0x10, 0x10);

struct Received {
    int clicks = 0;
    int rightClicks = 0;
    POINT lastClick{-1, -1};
    std::vector<WPARAM> keys;
    std::wstring chars;
    int wheel = 0;
    int moves = 0;
};
Received g_received;

void PaintSolid(HWND window, COLORREF colour) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    Nolvar::Core::UniqueGdiObject<HBRUSH> brush(CreateSolidBrush(colour));
    RECT client;
    GetClientRect(window, &client);
    FillRect(dc, &client, brush.get());
    EndPaint(window, &paint);
}

LRESULT CALLBACK ChildProc(HWND window, UINT message, WPARAM wp, LPARAM lp) {
    switch (message) {
    case WM_PAINT:
        PaintSolid(window, kChildColour);
        return 0;
    case WM_LBUTTONUP:
        ++g_received.clicks;
        g_received.lastClick = POINT{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
        return 0;
    case WM_RBUTTONUP:
        ++g_received.rightClicks;
        return 0;
    case WM_MOUSEMOVE:
        ++g_received.moves;
        return 0;
    case WM_KEYDOWN:
        g_received.keys.push_back(wp);
        return 0;
    case WM_CHAR:
        g_received.chars += static_cast<wchar_t>(wp);
        return 0;
    case WM_MOUSEWHEEL:
        g_received.wheel += GET_WHEEL_DELTA_WPARAM(wp);
        return 0;
    default:
        return DefWindowProcW(window, message, wp, lp);
    }
}

LRESULT CALLBACK ParentProc(HWND window, UINT message, WPARAM wp, LPARAM lp) {
    if (message == WM_PAINT) {
        PaintSolid(window, kParentColour);
        return 0;
    }
    return DefWindowProcW(window, message, wp, lp);
}

class WindowProbeTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_received = Received{};
        static const bool registered = [] {
            WNDCLASSW parent{};
            parent.lpfnWndProc = ParentProc;
            parent.hInstance = GetModuleHandleW(nullptr);
            parent.lpszClassName = kParentClass;
            parent.hCursor = LoadCursorW(nullptr, IDC_ARROW);
            WNDCLASSW child = parent;
            child.lpfnWndProc = ChildProc;
            child.lpszClassName = kChildClass;
            return RegisterClassW(&parent) != 0 && RegisterClassW(&child) != 0;
        }();
        ASSERT_TRUE(registered);
        m_parent.reset(CreateWindowExW(WS_EX_TOPMOST, kParentClass, L"Probe parent", WS_POPUP | WS_VISIBLE, 100, 100,
                                       400, 300, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr));
        ASSERT_TRUE(m_parent);
        m_child = CreateWindowExW(0, kChildClass, L"Probe child", WS_CHILD | WS_VISIBLE, 50, 40, 120, 60,
                                  m_parent.get(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(kChildId)),
                                  GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(m_child, nullptr);
        SetForegroundWindow(m_parent.get());
        UpdateWindow(m_parent.get());
        PumpMessagesFor(300ms);
    }

    Nolvar::Core::UniqueWindow m_parent;
    HWND m_child = nullptr;
};

TEST_F(WindowProbeTest, FindsTheWindowAndListsItsChildWithIdAndRectangle) {
    EXPECT_EQ(FindTopWindow(kParentClass, L"", GetCurrentProcessId()), m_parent.get());
    EXPECT_EQ(FindTopWindow(L"", L"Probe parent", GetCurrentProcessId()), m_parent.get());
    EXPECT_EQ(FindTopWindow(kParentClass, L"another title"), nullptr);

    const auto children = ListDescendants(m_parent.get());
    ASSERT_EQ(children.size(), 1u);
    const WindowInfo& child = children[0];
    EXPECT_EQ(child.hwnd, m_child);
    EXPECT_EQ(child.controlId, kChildId);
    EXPECT_EQ(child.className, kChildClass);
    EXPECT_EQ(child.text, L"Probe child");
    EXPECT_TRUE(child.visible);
    const RECT parentClient = DescribeWindow(m_parent.get()).clientScreenRect;
    EXPECT_EQ(child.clientScreenRect.left - parentClient.left, 50);
    EXPECT_EQ(child.clientScreenRect.top - parentClient.top, 40);
    EXPECT_EQ(child.clientScreenRect.right - child.clientScreenRect.left, 120);
    EXPECT_EQ(child.clientScreenRect.bottom - child.clientScreenRect.top, 60);
    EXPECT_EQ(FindDescendantById(m_parent.get(), kChildId), m_child);
}

TEST_F(WindowProbeTest, RealAndPostedClicksReachTheChildAtThePoint) {
    ASSERT_TRUE(Click(m_child, POINT{10, 20}, InputMode::Real));
    EXPECT_TRUE(PumpMessagesUntil([] { return g_received.clicks == 1; }, 5s));
    EXPECT_EQ(g_received.lastClick.x, 10);
    EXPECT_EQ(g_received.lastClick.y, 20);

    ASSERT_TRUE(Click(m_child, POINT{30, 5}, InputMode::Posted));
    EXPECT_TRUE(PumpMessagesUntil([] { return g_received.clicks == 2; }, 5s));
    EXPECT_EQ(g_received.lastClick.x, 30);
    EXPECT_EQ(g_received.lastClick.y, 5);

    ASSERT_TRUE(Click(m_child, POINT{5, 5}, InputMode::Real, MouseButton::Right));
    EXPECT_TRUE(PumpMessagesUntil([] { return g_received.rightClicks == 1; }, 5s));
}

TEST_F(WindowProbeTest, KeysTextAndWheelReachTheFocusedChild) {
    SetFocus(m_child);
    ASSERT_TRUE(PressKeys(m_child, {VK_DOWN, VK_NEXT}, InputMode::Real));
    ASSERT_TRUE(PressKeys(m_child, {VK_HOME}, InputMode::Posted));
    EXPECT_TRUE(PumpMessagesUntil([] { return g_received.keys.size() >= 3; }, 5s));
    EXPECT_EQ(g_received.keys, (std::vector<WPARAM>{VK_DOWN, VK_NEXT, VK_HOME}));

    ASSERT_TRUE(TypeText(m_child, L"ok", InputMode::Posted));
    EXPECT_TRUE(PumpMessagesUntil([] { return g_received.chars == L"ok"; }, 5s));

    ASSERT_TRUE(Wheel(m_child, -WHEEL_DELTA, POINT{20, 20}, InputMode::Real));
    EXPECT_TRUE(PumpMessagesUntil([] { return g_received.wheel == -WHEEL_DELTA; }, 5s));
    ASSERT_TRUE(Wheel(m_child, 2 * WHEEL_DELTA, POINT{20, 20}, InputMode::Posted));
    EXPECT_TRUE(PumpMessagesUntil([] { return g_received.wheel == WHEEL_DELTA; }, 5s));
}

TEST_F(WindowProbeTest, CaptureReadsTheColoursOnScreen) {
    auto capture = CaptureClientAfterRepaint(m_parent.get());
    ASSERT_TRUE(capture);
    ASSERT_EQ(capture->width, 400);
    ASSERT_EQ(capture->height, 300);
    const std::uint32_t parent = 0x2040C0;
    const std::uint32_t child = 0xE01010;
    EXPECT_TRUE(ColourNear(capture->at(10, 10), parent)) << std::hex << capture->at(10, 10);
    EXPECT_TRUE(ColourNear(capture->at(60, 50), child)) << std::hex << capture->at(60, 50);
    const int childPixels = capture->count(RECT{50, 40, 170, 100}, [&](auto c) { return ColourNear(c, child); });
    EXPECT_GE(childPixels, 120 * 60 * 9 / 10);
    const int outside = capture->count(RECT{200, 150, 400, 300}, [&](auto c) { return ColourNear(c, child); });
    EXPECT_EQ(outside, 0);
}

TEST_F(WindowProbeTest, ToolListsClicksAndReadsPixelsOfAnotherProcessWindow) {
    auto listed = RunWindowTool({L"list", L"class:NetsetterProbeParent"});
    ASSERT_EQ(listed.exitCode, 0) << listed.output;
    EXPECT_NE(listed.output.find(" 1001 NetsetterProbeChild "), std::string::npos) << listed.output;
    EXPECT_NE(listed.output.find("\"Probe child\""), std::string::npos) << listed.output;

    auto clicked = RunWindowTool({L"click", L"class:NetsetterProbeParent#1001", L"7", L"9"});
    ASSERT_EQ(clicked.exitCode, 0);
    EXPECT_TRUE(PumpMessagesUntil([] { return g_received.clicks == 1; }, 5s));
    EXPECT_EQ(g_received.lastClick.x, 7);
    EXPECT_EQ(g_received.lastClick.y, 9);

    auto keyed = RunWindowTool({L"--post", L"keys", L"class:NetsetterProbeParent#1001", L"ESC", L"pgdn"});
    ASSERT_EQ(keyed.exitCode, 0);
    EXPECT_TRUE(PumpMessagesUntil([] { return g_received.keys.size() == 2; }, 5s));

    RedrawWindow(m_parent.get(), nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    PumpMessagesFor(200ms);
    auto pixel = RunWindowTool({L"pixel", L"class:NetsetterProbeParent#1001", L"5", L"5"});
    ASSERT_EQ(pixel.exitCode, 0);
    EXPECT_TRUE(ColourNear(std::stoul(pixel.output, nullptr, 16), 0xE01010)) << pixel.output;

    auto missing = RunWindowTool({L"--wait", L"100", L"find", L"class:NoSuchWindowClass"});
    EXPECT_EQ(missing.exitCode, 1);
    auto usage = RunWindowTool({L"frobnicate"});
    EXPECT_EQ(usage.exitCode, 2);
}

} // namespace
