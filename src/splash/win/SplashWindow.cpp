#include "splash/win/SplashWindow.h"

#include <d2d1.h>
#include <dwrite.h>
#include <wrl/client.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <glog/logging.h>

#include "QorString/Utf.h"
#include "splash/ISplashEventObserver.h"
#include "splash/win/CloseButtonDelay.h"
#include "splash/win/EulaSave.h"
#include "splash/win/FileDialog.h"
#include "splash/win/HighDpiAwarenessHelper.h"
#include "splash/win/ImageLoader.h"
#include "splash/win/PopupHost.h"
#include "splash/win/ScreenImages.h"
#include "splash/win/SplashLayout.h"
#include "splash/win/SplashMessage.h"
#include "splash/win/SplashPopups.h"
#include "splash/win/SplashState.h"
#include "splash/win/SplashWidgets.h"
#include "splash/win/SpinnerView.h"
#include "splash/win/StartupDrawing.h"
#include "splash/win/TextIds.h"
#include "splash/win/WindowPlacement.h"
#include "splash/win/widgets/Button.h"
#include "splash/win/widgets/DeviceBitmap.h"
#include "splash/win/widgets/Label.h"
#include "splash/win/widgets/ProgressBars.h"
#include "splash/win/widgets/TextFormat.h"
#include "splash/win/widgets/WidgetDrawing.h"
#include "utils/Resources.h"
#include "utils/Settings.h"

namespace Nolvar {

using Microsoft::WRL::ComPtr;

namespace {

constexpr wchar_t kWindowClass[] = L"Nolvaria Installer";
constexpr int kSpinnerViewWidth = 352;
constexpr int kSpinnerViewHeight = 130;
constexpr int kLogoResource = 9;
// Where the logo and the caption of a missing image stand, in DIPs.
constexpr float kLogoLeft = 20;
constexpr float kLogoTop = 10;
constexpr float kCaptionSize = 18;
constexpr float kSpinnerTextSize = 12;
constexpr float kCaptionTop = 160;
constexpr float kCaptionBottom = 196;

SIZE BitmapSize(const SharedBitmap& bitmap) {
    BITMAP info{};
    if (!bitmap || !GetObjectW(bitmap->get(), sizeof(info), &info)) return {0, 0};
    return {info.bmWidth, std::abs(info.bmHeight)};
}

} // namespace

class SplashWindow::Impl {
public:
    Impl(ISplashEventObserver& observer, SplashState& state, ISplashWindowHost& host, ID2D1Factory* factory)
        : m_observer(observer), m_state(state), m_host(host), m_d2d(factory) {
        m_spinner.LoadWhile([this] { CreateMainWindow(); });
        HWND window = m_window.get();
        UpdateWindow(window);  // the first frame, with GDI
        m_startup.Start(window, m_d2d.Get(), [window] { PostTask(window, SplashTask::DrawingReady); });
        SetForegroundWindow(window);
        m_host.OnWindowCreated(window);
        m_spinner.StartTurning([window] { PostTask(window, SplashTask::SpinnerTick); });
    }

    void Close() {
        m_spinner.Stop();
        m_closeButtonDelay.Stop();
        if (m_window) DestroyWindow(m_window.get());
        PostQuitMessage(0);
    }

    std::exception_ptr Failure() const { return m_failure; }

private:
    // ---- window ----

    void CreateMainWindow() {
        m_window.Create(nullptr, kWindowClass, WidgetRect{0, 0, kSpinnerViewWidth, kSpinnerViewHeight},
                        WS_POPUP | WS_BORDER | WS_MINIMIZEBOX, 0, "Splash window procedure",
                        std::bind_front(&Impl::Handle, this),
                        [this](const std::exception_ptr& failure) { OnHandlerFailure(failure); });
        HWND window = m_window.get();
        Settings::Set(Settings::ID::MainWindow, window);

        HighDpiAwareness().update(window);
        m_placement.CenterOnScreen(window, kSpinnerViewWidth, kSpinnerViewHeight);
        ShowWindow(window, SW_SHOWDEFAULT);
    }

    // The message loop ends and the thread reports the first failure.
    void OnHandlerFailure(const std::exception_ptr& failure) {
        if (!m_failure) m_failure = failure;
        PostQuitMessage(0);
    }

    // Draws with Direct2D from now on: takes its parts the first time (waiting for them while they are being
    // made) and makes what is drawn with them. Throws what making them threw, once.
    void TakeDrawingParts() {
        std::optional<DrawingParts> parts = m_startup.Take();
        if (!parts) return;
        if (parts->factory) m_d2d = std::move(parts->factory);
        m_dwrite = std::move(parts->dwrite);
        if (!m_dwrite) throw std::runtime_error("Cannot create the DirectWrite factory");
        MakeTextFormats();
        m_logo.SetSource(m_images.LoadResource(FindImageResource(kLogoResource)));
        m_surface.Adopt(std::move(parts->target), m_d2d.Get(), m_window.get(),
                        [this](ID2D1DCRenderTarget* target) { MakeDeviceResources(target); });
    }

    // The window's own texts are laid out in the current locale: made once, and again when the locale changes.
    void MakeTextFormats() {
        m_textFormat = MakeTextFormat(kSpinnerTextSize);
        m_captionFormat = MakeTextFormat(kCaptionSize);
    }

    // What is drawn into the window's render target (its bitmaps, the text brush, the labels) follows the target,
    // made again after a lost device; null releases it.
    void MakeDeviceResources(ID2D1DCRenderTarget* target) {
        for (DeviceBitmap* bitmap : {&m_background, &m_logo}) bitmap->SetTarget(target);
        m_spinner.SetTarget(target);
        m_textBrush = target ? CreateSolidBrush(target, Rgb(0, 0, 0)) : nullptr;
        for (const auto& widget : m_widgets)
            if (Label* label = widget->asLabel()) label->SetRenderTarget(target);
    }

    ID2D1DCRenderTarget* drawingTarget() const { return m_surface.target(); }

    // The window's own texts: centred, from the top of their rectangle.
    ComPtr<IDWriteTextFormat> MakeTextFormat(float size) const {
        return Nolvar::MakeTextFormat(m_dwrite.Get(), size, DWRITE_TEXT_ALIGNMENT_CENTER,
                                      DWRITE_PARAGRAPH_ALIGNMENT_NEAR);
    }

    LRESULT Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        switch (message) {
        case WM_DPICHANGED:
            HighDpiAwareness().update(window);
            m_placement.DpiChanged(window);
            Paint();
            return 0;
        case WM_PAINT:
            HighDpiAwareness().update(window);
            Paint();
            return 0;
        case WM_ENTERSIZEMOVE:
        case WM_EXITSIZEMOVE:
            m_placement.SetUserMoving(message == WM_ENTERSIZEMOVE);
            return DefWindowProcW(window, message, wParam, lParam);
        case WM_ERASEBKGND:
            return 1;
        case WM_CLOSE:
            OnCloseRequest();
            return 0;
        case WM_SETCURSOR: {
            const SplashScreen screen = m_state.Screen();
            SetCursor(LoadCursorW(nullptr, screen == SplashScreen::Progress ? IDC_APPSTARTING
                                           : screen == SplashScreen::Wait   ? IDC_WAIT
                                                                            : IDC_ARROW));
            return 0;
        }
        case WM_NCHITTEST: {
            const LRESULT hit = DefWindowProcW(window, message, wParam, lParam);
            return hit == HTCLIENT ? HTCAPTION : hit;
        }
        case WM_NCDESTROY:
            m_host.OnWindowDestroyed();
            return DefWindowProcW(window, message, wParam, lParam);
        case kWidgetFailedMessage:
            throw std::runtime_error("A widget of the splash window failed");
        default:
            break;
        }
        if (IsOneOf<SplashMessage>(message)) return HandleSplashMessage(message, wParam, lParam);
        if (IsOneOf<SplashTask>(message)) return HandleTask(message, wParam);
        return DefWindowProcW(window, message, wParam, lParam);
    }

    LRESULT HandleSplashMessage(UINT message, WPARAM wParam, LPARAM lParam) {
        switch (static_cast<SplashMessage>(message)) {
        case SplashMessage::Progress:
            if (ProgressBar* bar = FindProgressBar()) bar->SetValue(static_cast<int>(UnpackProgress(wParam)));
            break;
        case SplashMessage::ButtonClicked:
            OnButtonClicked(UnpackWidgetId(wParam));
            break;
        case SplashMessage::PopupResult:
            OnPopupResult(UnpackPopupResult(wParam));
            break;
        case SplashMessage::CloseWindow:
            Close();
            break;
        case SplashMessage::ToggleChanged:
            OnToggleChanged(UnpackToggleChanged(wParam));
            break;
        case SplashMessage::SetScreen:
            SetScreen(UnpackScreen(wParam));
            break;
        case SplashMessage::ShowNoConnection:
        case SplashMessage::ShowPlatform:
        case SplashMessage::ShowAlreadyRunning:
        case SplashMessage::ShowCloseProduct:
        case SplashMessage::ShowRetry:
        case SplashMessage::ShowDiskSpace: {
            PopupRequest request;
            if (PopupRequestForMessage(static_cast<SplashMessage>(message), UnpackExitState(wParam), &request))
                ShowPopup(request, UnpackPlaceholderValue(lParam));
            break;
        }
        default:
            break;
        }
        return 0;
    }

    LRESULT HandleTask(UINT message, WPARAM wParam) {
        switch (static_cast<SplashTask>(message)) {
        case SplashTask::SpinnerTick:
            if (m_spinner.Tick(m_state.Screen() == SplashScreen::None && m_startup.usesDirect2D())) RepaintNow();
            break;
        case SplashTask::CloseButtonDelayOver:
            if (m_closeButtonDelay.Over(static_cast<unsigned>(wParam))) ShowCloseButton(true);
            break;
        case SplashTask::InstallFolderChanged:
            OnInstallFolderChanged();
            break;
        case SplashTask::SetCloseButtonHidden:
            m_closeButtonDelay.SetHidden(wParam != 0);
            ShowCloseButton(m_closeButtonDelay.usable());
            break;
        case SplashTask::LocaleChanged:
            if (m_dwrite) MakeTextFormats();
            RepaintNow();
            break;
        case SplashTask::ReleasePopups:
            m_popups.ReleaseAnswered();
            break;
        case SplashTask::DrawingReady:
            TakeDrawingParts();
            RepaintNow();
            break;
        case SplashTask::MainImageArrived:
            ShowArrivedMainImage();
            break;
        }
        return 0;
    }

    // ---- screens ----

    void SetScreen(SplashScreen screen) {
        TakeDrawingParts();
        HighDpiAwareness().update(m_window.get());
        if (!IsKnownScreen(screen)) {
            LOG(WARNING) << "Screen " << ScreenNumber(screen) << " is unknown; ignored";
            return;
        }
        const SplashScreen previous = m_state.Screen();
        if (screen == SplashScreen::Start && previous >= SplashScreen::Progress) {
            LOG(INFO) << "Screen 1 not shown: the installation has started (screen " << ScreenNumber(previous)
                      << " stays)";
            return;
        }
        m_spinner.Stop();
        m_state.SetScreen(screen);

        m_shown = m_screenImages.Choose(screen);
        if (previous == SplashScreen::None) {
            m_placement.SetImageArea(BitmapSize(m_shown.bitmap));
            // Centred as the image alone; the panel below grows it downward (the fitting below).
            m_placement.CenterImageArea(m_window.get(), kNarrowPanel);
            SetForegroundWindow(m_window.get());
            ShowWindow(m_window.get(), SW_SHOWDEFAULT);
            m_placement.CenterImageArea(m_window.get(), 0);
        }
        UpdateWidgets(screen);
        m_background.SetSource(m_shown.bitmap);
        if (m_shown.buttonsDrawIt)
            for (const auto& widget : m_widgets)
                if (widget->asButton()) widget->setBackground(m_shown.bitmap);

        m_placement.FitPanel(m_window.get(), PanelHeight(screen));
        if (screen == SplashScreen::Wait)
            if (Label* label = FindLabel(WaitText)) label->SetTextId(UiText::AlmostReady);
        RepaintNow();
        m_observer.OnScreenShown(ScreenNumber(screen), m_shown.imageShown);
    }

    // A screen of the main image that shows without it takes it now, in place: the user stays where they are.
    void ShowArrivedMainImage() {
        const SplashScreen screen = m_state.Screen();
        if (ImageTypeOfScreen(screen) == SplashImageType::Main && m_state.IsMissing(SplashImageType::Main))
            SetScreen(screen);
    }

    void UpdateWidgets(SplashScreen screen) {
        const std::vector<WORD>& ids = WidgetIdsOfScreen(screen);
        auto shown = [&](WORD id) { return std::find(ids.begin(), ids.end(), id) != ids.end(); };
        std::erase_if(m_widgets, [&](const WidgetPtr& widget) { return !shown(widget->id()); });
        const SplashWidgetContext context{m_window.get(), m_d2d.Get(), drawingTarget(), &m_observer,
                                          m_placement.imageWidth(), m_placement.imageHeight()};
        for (WORD id : ids) {
            if (Find(id)) continue;
            WidgetPtr widget = MakeSplashWidget(id, context);
            if (!widget) continue;
            m_widgets.push_back(std::move(widget));
            if (id == CloseButton) StartCloseButtonDelay();
        }
    }

    IWidget* Find(WORD id) const {
        for (const auto& widget : m_widgets)
            if (widget->id() == id) return widget.get();
        return nullptr;
    }

    Button* FindButton(WORD id) const {
        IWidget* widget = Find(id);
        return widget ? widget->asButton() : nullptr;
    }

    Label* FindLabel(WORD id) const {
        IWidget* widget = Find(id);
        return widget ? widget->asLabel() : nullptr;
    }

    ProgressBar* FindProgressBar() const {
        for (const auto& widget : m_widgets)
            if (ProgressBar* bar = widget->asProgressBar()) return bar;
        return nullptr;
    }

    // ---- close button ----

    void StartCloseButtonDelay() {
        m_closeButtonDelay.Restart([window = m_window.get()](unsigned generation) {
            PostTask(window, SplashTask::CloseButtonDelayOver, generation);
        });
    }

    void ShowCloseButton(bool usable) {
        Button* button = FindButton(CloseButton);
        if (!button) return;
        button->SetImagesHidden(!usable);
        button->SetState(usable ? Button::Normal : Button::Disabled);
        button->redraw();
    }

    void OnInstallFolderChanged() {
        Button* button = FindButton(FolderButton);
        if (!button) return;
        button->SetText(InstallFolderText());
        button->redraw();
    }

    // ---- user actions ----

    void OnButtonClicked(WORD id) {
        switch (id) {
        case InstallButton:
            m_observer.OnStartPressed();
            break;
        case CloseButton:
            SendMessageW(m_window.get(), WM_CLOSE, 0, 0);
            break;
        case StartButton:
            m_observer.OnReadyPressed();
            break;
        case SaveLicenceButton:
            SaveEula([](const std::wstring& name) { return ioPath(FileDialog::SaveTextFile(name).wstring()); },
                     &GetEulaText);
            break;
        case LanguageButton:
            if (Button* button = FindButton(LanguageButton))
                m_popups.ShowLocalePopup(m_window.get(), button->window(), m_d2d.Get());
            break;
        case FolderButton:
            m_observer.OnSelectFolder();
            break;
        default:
            break;
        }
    }

    // Through the window's own message, as the logic sets a screen (the observer hears of it).
    void ShowScreen(SplashScreen screen) {
        SendMessageW(m_window.get(), ToMessage(SplashMessage::SetScreen), PackScreen(screen), 0);
    }

    void OnToggleChanged(ToggleChangedParam toggle) {
        const bool checked = toggle.checked;
        if (toggle.widgetId == LicenceLink) {
            if (Button* settings = FindButton(SettingsToggle)) settings->SetChecked(false);
            ShowScreen(checked ? SplashScreen::Eula : SplashScreen::Start);
            if (checked) m_observer.OnEulaShown();
            else m_observer.OnEulaHidden();
        } else if (toggle.widgetId == SettingsToggle) {
            if (Button* licence = FindButton(LicenceLink)) licence->SetChecked(false);
            ShowScreen(checked ? SplashScreen::Settings : SplashScreen::Start);
        }
    }

    void OnCloseRequest() {
        switch (m_state.Screen()) {
        case SplashScreen::Start:
        case SplashScreen::Settings:
        case SplashScreen::Eula:
        case SplashScreen::Progress:
            ShowPopup(CancelQuestionRequest(), nullptr);
            break;
        case SplashScreen::Ready:
            m_observer.OnExit(ScreenNumber(SplashScreen::Ready), "");
            Close();
            break;
        default:
            break;
        }
    }

    // ---- pop-ups ----

    void ShowPopup(const PopupRequest& request, const std::wstring* value) {
        TakeDrawingParts();
        m_popups.Show(m_window.get(), m_d2d.Get(), request, value);
    }

    void OnPopupResult(PopupResultParam result) {
        const std::string finalText = m_popups.Answered(m_window.get());
        const int screen = ScreenNumber(m_state.Screen());
        switch (AnswerOf(result.popupId, result.buttonId)) {
        case PopupAnswer::Nothing:
            break;
        case PopupAnswer::ExitByUser:
            m_observer.OnExit(screen, "USER");
            Close();
            break;
        case PopupAnswer::ExitWithText:
            m_observer.OnExit(screen, finalText);
            Close();
            break;
        case PopupAnswer::Retry:
            m_observer.OnRetryPressed();
            break;
        case PopupAnswer::RetryCancelled:
            m_observer.OnRetryCancelled();
            break;
        }
    }

    // ---- painting ----

    void RepaintNow() {
        if (m_window) RedrawWindow(m_window.get(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    }

    void Paint() {
        if (!m_startup.usesDirect2D()) {
            m_spinner.PaintGdi(m_window.get(), HighDpiAwareness().dpi());
            return;
        }
        WidgetPaint paint(m_surface);
        if (!paint.drawing()) return;
        drawingTarget()->SetTransform(D2D1::Matrix3x2F::Identity());
        drawingTarget()->Clear(D2D1::ColorF(D2D1::ColorF::White));
        ID2D1Bitmap* background = m_background.get();
        if (!background) {
            m_spinner.Paint(drawingTarget(), m_textFormat.Get(), m_textBrush.Get());
            return;
        }
        const D2D1_SIZE_F size = PixelSize(background);
        drawingTarget()->DrawBitmap(background, D2D1::RectF(0, 0, size.width / 2, size.height / 2), 1.0f,
                                    D2D1_BITMAP_INTERPOLATION_MODE_LINEAR);
        if (ID2D1Bitmap* logo = m_logo.get()) {
            const D2D1_SIZE_F logoSize = PixelSize(logo);
            drawingTarget()->DrawBitmap(logo, D2D1::RectF(kLogoLeft, kLogoTop, kLogoLeft + logoSize.width,
                                                          kLogoTop + logoSize.height));
        }
        // The caption stands in for a missing image, and for one that could not be decoded (the blank one shows).
        if (m_shown.captionShown)
            DrawText(Core::WstringFromUtf8(m_state.Caption()), m_captionFormat.Get(),
                     D2D1::RectF(0, kCaptionTop, drawingTarget()->GetSize().width, kCaptionBottom));
        PaintWidgets(m_widgets, drawingTarget(), [&] { paint.endDraw(); });
    }

    void DrawText(const std::wstring& text, IDWriteTextFormat* format, const D2D1_RECT_F& rect) {
        if (!format || !m_textBrush || text.empty()) return;
        drawingTarget()->DrawText(text.c_str(), static_cast<UINT32>(text.size()), format, rect, m_textBrush.Get());
    }

    ISplashEventObserver& m_observer;
    SplashState& m_state;
    ISplashWindowHost& m_host;
    std::exception_ptr m_failure;

    // Declared first, so that it goes last: the bitmaps below come from it.
    ImageLoader m_images;
    ComPtr<ID2D1Factory> m_d2d;
    ComPtr<IDWriteFactory> m_dwrite;
    OwnedWindow m_window;
    WindowSurface m_surface;
    ComPtr<IDWriteTextFormat> m_textFormat;      // 12 points: the spinner view's text
    ComPtr<IDWriteTextFormat> m_captionFormat;   // 18 points: the caption of a missing image
    ComPtr<ID2D1SolidColorBrush> m_textBrush;
    DeviceBitmap m_background{m_images};
    DeviceBitmap m_logo{m_images};
    ScreenImages m_screenImages{m_images, m_state, m_observer};
    ScreenBackground m_shown;      // of the screen on show
    SplashPlacement m_placement;

    // Declared in the reverse order of their going: the start-up thread and the timers end first, then the pop-ups
    // and the widgets go, before the window itself.
    std::vector<WidgetPtr> m_widgets;
    PopupHost m_popups{m_observer, m_state, [this] { PostTask(m_window.get(), SplashTask::ReleasePopups); }};
    CloseButtonDelay m_closeButtonDelay;
    SpinnerView m_spinner{m_images};
    StartupDrawing m_startup;
};

SplashWindow::SplashWindow(ISplashEventObserver& observer, SplashState& state, ISplashWindowHost& host,
                           ID2D1Factory* factory)
    : m_impl(std::make_unique<Impl>(observer, state, host, factory)) {}

SplashWindow::~SplashWindow() = default;

void SplashWindow::Close() { m_impl->Close(); }

std::exception_ptr SplashWindow::Failure() const { return m_impl->Failure(); }

} // namespace Nolvar
