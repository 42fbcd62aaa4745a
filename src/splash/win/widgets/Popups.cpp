#include "splash/win/widgets/Popups.h"

#include <functional>

#include <glog/logging.h>

#include "QorString/Utf.h"
#include "splash/win/HighDpiAwarenessHelper.h"
#include "splash/win/ImageLoader.h"
#include "splash/win/SplashMessage.h"
#include "splash/win/TextIds.h"
#include "splash/win/widgets/Button.h"
#include "splash/win/widgets/ButtonStyles.h"
#include "splash/win/widgets/DeviceBitmap.h"
#include "splash/win/widgets/Label.h"
#include "splash/win/widgets/WidgetDrawing.h"
#include "utils/Localization.h"
#include "utils/Settings.h"

namespace Nolvar {

namespace {

// The language list shown on this thread, for the mouse hook.
thread_local HWND t_shownLocalePopup = nullptr;

LRESULT CALLBACK LocalePopupMouseHook(int code, WPARAM wp, LPARAM lp) {
    if (code >= 0 && wp >= WM_LBUTTONUP && wp <= WM_MBUTTONDBLCLK && t_shownLocalePopup) {
        const auto* mouse = reinterpret_cast<const MOUSEHOOKSTRUCT*>(lp);
        RECT rect{};
        if (GetWindowRect(t_shownLocalePopup, &rect) && !PtInRect(&rect, mouse->pt))
            ShowWindow(t_shownLocalePopup, SW_HIDE);
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

int PixelsToUnits(int pixels) {
    const unsigned dpi = HighDpiAwareness().dpi();
    return dpi == 0 ? pixels : static_cast<int>(static_cast<long long>(pixels) * 96 / dpi);
}

} // namespace

class ChangeLocalePopup::Impl {
public:
    Impl(HWND parent, HWND languageButton, ID2D1Factory* factory) : m_locales(AvailableLocales()) {
        RECT button{};
        GetWindowRect(languageButton, &button);
        // The button's width in 96-DPI units, so the list is as wide as the button at any DPI.
        const int width = PixelsToUnits(button.right - button.left);
        const long long count = static_cast<long long>(m_locales.size());
        m_window.Create(parent, L"changeLocalePopupClass", {CW_USEDEFAULT, CW_USEDEFAULT, width, kRowHeight * count},
                        WS_POPUP | WS_BORDER | WS_SYSMENU, 0, "Language list window procedure",
                        std::bind_front(&Impl::handle, this));
        for (size_t n = 0; n < m_locales.size(); ++n) {
            const long long top = kRowHeight * static_cast<long long>(n);
            auto row = Button::Create(kFirstRowId + static_cast<int>(n), m_window.get(), UiText::None,
                                      ButtonStyleId::LocaleRow, factory, {0, top, width, top + kRowHeight},
                                      Button::Normal);
            row->SetText(Tr(UiText::LanguageName, m_locales[n]));
            m_rows.push_back(std::move(row));
        }
    }

    ~Impl() {
        m_rows.clear();
        unhook();
    }

    void show(HWND languageButton) {
        RECT button{};
        GetWindowRect(languageButton, &button);
        const int count = static_cast<int>(m_locales.size());
        const int height = ScaleForDpi(static_cast<long long>(kRowHeight) * count, HighDpiAwareness().dpi());
        const long long y = (static_cast<long long>(button.top) + button.bottom - height) / 2;
        SetWindowPos(m_window.get(), nullptr, button.left, static_cast<int>(y), button.right - button.left, height,
                     SWP_NOACTIVATE | SWP_NOZORDER);
        ShowWindow(m_window.get(), SW_SHOWNOACTIVATE);
        SetFocus(m_window.get());
    }

    void hide() { ShowWindow(m_window.get(), SW_HIDE); }

    std::vector<std::string> m_locales;
    OwnedWindow m_window;

private:
    LRESULT handle(HWND window, UINT message, WPARAM wp, LPARAM lp) {
        switch (message) {
        case WM_MOUSEACTIVATE:
            return MA_NOACTIVATE;
        case WM_WINDOWPOSCHANGED: {
            const auto* position = reinterpret_cast<const WINDOWPOS*>(lp);
            if (position->flags & SWP_SHOWWINDOW) hook();
            if (position->flags & SWP_HIDEWINDOW) unhook();
            break;
        }
        case WM_KEYDOWN:
            if (wp == VK_ESCAPE) hide();
            break;
        case WM_NCDESTROY:
            unhook();
            break;
        default:
            if (message == ToMessage(SplashMessage::ButtonClicked)) {
                hide();
                const WORD rowId = UnpackWidgetId(wp);
                const int index = static_cast<int>(rowId) - kFirstRowId;
                if (index < 0 || index >= static_cast<int>(m_locales.size())) {
                    LOG(ERROR) << "Language row " << rowId << " is not in the list";
                    return 0;
                }
                // Observers run before Set returns; they may repaint and re-lay out everything.
                Settings::Set(Settings::ID::Locale, m_locales[index]);
                return 0;
            }
            break;
        }
        return DefWindowProcW(window, message, wp, lp);
    }

    void hook() {
        t_shownLocalePopup = m_window.get();
        if (!m_hook) m_hook.reset(SetWindowsHookExW(WH_MOUSE, LocalePopupMouseHook, nullptr, GetCurrentThreadId()));
    }
    void unhook() {
        if (t_shownLocalePopup == m_window.get()) t_shownLocalePopup = nullptr;
        m_hook.reset();
    }

    std::vector<std::unique_ptr<Button>> m_rows;
    Core::UniqueHook m_hook;
};

ChangeLocalePopup::ChangeLocalePopup(HWND parent, HWND languageButton, ID2D1Factory* factory)
    : m_impl(std::make_unique<Impl>(parent, languageButton, factory)) {}
ChangeLocalePopup::~ChangeLocalePopup() = default;
void ChangeLocalePopup::Show(HWND languageButton) { m_impl->show(languageButton); }
void ChangeLocalePopup::Hide() { m_impl->hide(); }
HWND ChangeLocalePopup::window() const { return m_impl->m_window.get(); }
const std::vector<std::string>& ChangeLocalePopup::locales() const { return m_impl->m_locales; }

namespace {

struct PopupButtonSpec {
    size_t idIndex;
    UiText::Id textId;
    ButtonStyleId::Id style;
    long long left, top, right, bottom;  // right < 0: the pop-up width plus it
};

constexpr ButtonStyleId::Id kLight = ButtonStyleId::LightPopupButton;
constexpr ButtonStyleId::Id kDark = ButtonStyleId::DarkPopupButton;

std::vector<PopupButtonSpec> ButtonsOf(PopupKind kind) {
    switch (kind) {
    case PopupKind::Question:
        return {{1, UiText::Yes, kLight, 50, 110, 170, 140}, {2, UiText::No, kDark, 180, 110, 300, 140}};
    case PopupKind::Information:
        return {{0, UiText::Ok, kDark, 110, 110, -110, 140}};
    case PopupKind::Retry:
        return {{1, UiText::Skip, kLight, 50, 110, 170, 140},
                {2, UiText::TryAgain, kDark, 180, 110, 300, 140},
                {3, UiText::Cancel, kLight, 310, 110, 430, 140}};
    case PopupKind::Warning:
        return {{0, UiText::TryAgain, kLight, 50, 110, 170, 140}, {1, UiText::Cancel, kDark, 180, 110, 300, 140}};
    }
    return {};
}

// The icons (RT_RCDATA images) over the text.
constexpr int kQuestionIcon = 11;
constexpr int kWarningIcon = 12;

int IconOf(PopupKind kind) {
    switch (kind) {
    case PopupKind::Question:
    case PopupKind::Retry:
        return kQuestionIcon;
    case PopupKind::Information:
    case PopupKind::Warning:
        return kWarningIcon;
    }
    return 0;
}

constexpr int kPopupHeight = 165;
constexpr float kIconTop = 19;

} // namespace

class PopupMessage::Impl {
public:
    Impl(PopupKind kind, UiText::Id textId, HWND parent, ID2D1Factory* factory, int popupId,
         const std::vector<unsigned short>& buttonIds, const std::wstring& placeholderName)
        : m_textId(textId), m_parent(parent), m_popupId(popupId) {
        m_width = buttonIds.size() >= 4 ? 130 * static_cast<int>(buttonIds.size()) - 40 : 350;
        // A real size from the start: the render target and the label lay out against it.
        m_window.Create(parent, L"popupMessage", {0, 0, m_width, kPopupHeight}, WS_POPUP | WS_BORDER, 0,
                        "Pop-up window procedure", std::bind_front(&Impl::handle, this));
        HighDpiAwareness().update(m_window.get());
        for (const auto& spec : ButtonsOf(kind)) {
            if (spec.idIndex >= buttonIds.size()) {
                LOG(ERROR) << "Pop-up " << popupId << " has no button id at position " << spec.idIndex;
                continue;
            }
            const long long right = spec.right < 0 ? m_width + spec.right : spec.right;
            m_widgets.push_back(Button::Create(buttonIds[spec.idIndex], m_window.get(), spec.textId, spec.style,
                                               factory, {spec.left, spec.top, right, spec.bottom}, Button::Normal));
        }
        auto label = Label::Create(0, textId, POINT{0, 60}, nullptr, placeholderName, 20, 5);
        label->SetAlignment(Align::Centre);
        m_label = label.get();
        m_widgets.push_back(std::move(label));
        if (const int icon = IconOf(kind); icon != 0) m_icon.SetSource(m_images.LoadResource(FindImageResource(icon)));
        m_surface.Create(factory, m_window.get(), [this](ID2D1DCRenderTarget* target) {
            m_icon.SetTarget(target);
            m_label->SetRenderTarget(target);
        });
    }

    ~Impl() { m_widgets.clear(); }

    void show() {
        HighDpiAwareness().update(m_window.get());
        const unsigned dpi = HighDpiAwareness().dpi();
        const int width = ScaleForDpi(m_width, dpi);
        const int height = ScaleForDpi(kPopupHeight, dpi);
        const long long x = (static_cast<long long>(HighDpiAwareness().metric(SM_CXSCREEN)) - width) / 2;
        const long long y = (static_cast<long long>(HighDpiAwareness().metric(SM_CYSCREEN)) - height) / 2;
        SetWindowPos(m_window.get(), HWND_TOPMOST, static_cast<int>(x), static_cast<int>(y), width, height,
                     SWP_SHOWWINDOW);
    }

    void paint() {
        HighDpiAwareness().update(m_window.get());
        WidgetPaint paint(m_surface);
        if (!paint.drawing()) return;
        ID2D1DCRenderTarget* target = paint.target();
        target->Clear(D2D1::ColorF(1, 1, 1, 1));
        if (ID2D1Bitmap* icon = m_icon.get()) {
            const D2D1_SIZE_F size = PixelSize(icon);
            const float w = size.width / 4;
            const float h = size.height / 4;
            const float left = (static_cast<float>(m_width) - w) / 2;
            target->DrawBitmap(icon, D2D1::RectF(left, kIconTop, left + w, kIconTop + h), 1.0f,
                                 D2D1_BITMAP_INTERPOLATION_MODE_NEAREST_NEIGHBOR);
        }
        PaintWidgets(m_widgets, target, [&] { paint.endDraw(); });
    }

    UiText::Id m_textId;
    HWND m_parent;
    int m_popupId;
    int m_width = 350;
    OwnedWindow m_window;
    WindowSurface m_surface;
    std::vector<WidgetPtr> m_widgets;

private:
    LRESULT handle(HWND window, UINT message, WPARAM wp, LPARAM lp) {
        if (message == WM_PAINT) {
            paint();
            return 0;
        }
        const bool answered = message == ToMessage(SplashMessage::ButtonClicked);
        if (!answered && message != WM_CLOSE) return DefWindowProcW(window, message, wp, lp);
        const WORD buttonId = answered ? UnpackWidgetId(wp) : 0;
        const WPARAM result = PackPopupResult(static_cast<WORD>(m_popupId), buttonId);
        const HWND parent = m_parent;
        // The parent may destroy this pop-up: nothing of it is touched after the message.
        SendMessageW(parent, ToMessage(SplashMessage::PopupResult), result, 0);
        if (message == WM_CLOSE && IsWindow(window)) return DefWindowProcW(window, message, wp, lp);
        return 0;
    }

    Label* m_label = nullptr;  // among m_widgets
    ImageLoader m_images;  // before the bitmap it makes
    DeviceBitmap m_icon{m_images};
};

PopupMessage::PopupMessage(PopupKind kind, UiText::Id textId, HWND parent, ID2D1Factory* factory, int popupId,
                           const std::vector<unsigned short>& buttonIds, const std::wstring& placeholderName)
    : m_impl(std::make_unique<Impl>(kind, textId, parent, factory, popupId, buttonIds,
                                    placeholderName)) {}
PopupMessage::~PopupMessage() = default;
void PopupMessage::Show() { m_impl->show(); }
void PopupMessage::SetPlaceholderValue(const std::wstring& value) {
    for (const auto& widget : m_impl->m_widgets) {
        if (Label* label = widget->asLabel()) {
            label->SetPlaceholderValue(value);
            return;
        }
    }
}
std::string PopupMessage::EnglishText() const { return Core::Utf8FromWstring(Tr(m_impl->m_textId, "en-US")); }
HWND PopupMessage::window() const { return m_impl->m_window.get(); }
int PopupMessage::popupWidth() const { return m_impl->m_width; }
const std::vector<WidgetPtr>& PopupMessage::widgets() const { return m_impl->m_widgets; }

} // namespace Nolvar
