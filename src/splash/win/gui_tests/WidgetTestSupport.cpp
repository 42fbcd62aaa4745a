#include "splash/win/gui_tests/WidgetTestSupport.h"

#include <filesystem>
#include <stdexcept>

#include "QorString/Utf.h"
#include "testing/TempFolder.h"
#include "testing/TestServer.h"
#include "testing/WindowProbe.h"

namespace WidgetTesting {

namespace {
constexpr wchar_t kParentClass[] = L"NetsetterWidgetTestParent";
}

TestParent::TestParent(int width, int height, int x, int y) {
    static const bool registered = [] {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = &TestParent::WindowProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kParentClass;
        windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
        return RegisterClassW(&windowClass) != 0;
    }();
    if (!registered) throw std::runtime_error("cannot register the test parent class");
    m_window.reset(CreateWindowExW(0, kParentClass, L"Widget test", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, x, y,
                                   width, height, nullptr, nullptr, GetModuleHandleW(nullptr), this));
    if (!m_window) throw std::runtime_error("cannot create the test parent");
    SetWindowLongPtrW(m_window.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetForegroundWindow(m_window.get());
    Testing::PumpMessagesFor(std::chrono::milliseconds(100));
}

TestParent::~TestParent() {
    SetWindowLongPtrW(m_window.get(), GWLP_USERDATA, 0);
}

std::vector<SentMessage> TestParent::receivedOf(UINT message) const {
    std::vector<SentMessage> out;
    for (const auto& sent : m_received)
        if (sent.message == message) out.push_back(sent);
    return out;
}

LRESULT CALLBACK TestParent::WindowProc(HWND window, UINT message, WPARAM wp, LPARAM lp) {
    auto* self = reinterpret_cast<TestParent*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self && message >= WM_USER && message < 0xC000) {
        self->m_received.push_back({message, wp, lp});
        if (self->m_handler) self->m_handler(self->m_received.back());
        return 0;
    }
    return DefWindowProcW(window, message, wp, lp);
}

Microsoft::WRL::ComPtr<ID2D1Factory> CreateFactory() {
    Microsoft::WRL::ComPtr<ID2D1Factory> factory;
    D2D1CreateFactory(D2D1_FACTORY_TYPE_SINGLE_THREADED, factory.GetAddressOf());
    return factory;
}

OffscreenTarget::OffscreenTarget(ID2D1Factory* factory, int width, int height) : m_width(width), m_height(height) {
    m_dc.reset(CreateCompatibleDC(nullptr));
    m_bitmap = Testing::CreatePixelBitmap(m_dc.get(), width, height, m_bits);
    m_selection = Nolvar::Core::SelectInto(m_dc.get(), m_bitmap.get());
    const auto properties = D2D1::RenderTargetProperties(
        D2D1_RENDER_TARGET_TYPE_DEFAULT, D2D1::PixelFormat(DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_IGNORE), 96, 96);
    if (FAILED(factory->CreateDCRenderTarget(&properties, &m_target))) throw std::runtime_error("no DC render target");
}

void OffscreenTarget::begin() {
    RECT rect{0, 0, m_width, m_height};
    m_target->BindDC(m_dc.get(), &rect);
    m_target->BeginDraw();
}

HRESULT OffscreenTarget::end() {
    const HRESULT hr = m_target->EndDraw();
    GdiFlush();
    return hr;
}

std::uint32_t OffscreenTarget::pixel(int x, int y) const {
    return m_bits[static_cast<size_t>(y) * m_width + x] & 0xFFFFFF;
}

std::string ImageFileBytes(const std::string& name) {
    const std::string root = Testing::HarnessVariable("NETSETTER_SOURCE_DIR");
    return Testing::ReadWholeFile(Nolvar::Core::WstringFromUtf8(root + "/resources/images/" + name));
}

namespace {
constexpr wchar_t kDesktopKey[] = L"Control Panel\\Desktop";
constexpr wchar_t kLogPixels[] = L"LogPixels";
} // namespace

PrefixDpi::PrefixDpi(DWORD dpi) {
    RegCreateKeyExW(HKEY_CURRENT_USER, kDesktopKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, m_key.put(), nullptr);
    DWORD size = sizeof(m_old);
    m_hadValue = RegQueryValueExW(m_key.get(), kLogPixels, nullptr, nullptr, reinterpret_cast<BYTE*>(&m_old), &size) ==
                 ERROR_SUCCESS;
    RegSetValueExW(m_key.get(), kLogPixels, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof(dpi));
}

PrefixDpi::~PrefixDpi() {
    if (m_hadValue) {
        RegSetValueExW(m_key.get(), kLogPixels, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&m_old), sizeof(m_old));
    } else {
        RegDeleteValueW(m_key.get(), kLogPixels);
    }
}

} // namespace WidgetTesting
