#include "splash/win/WinSplash.h"

#include <windows.h>
#include <d2d1.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <chrono>
#include <condition_variable>
#include <exception>
#include <future>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <typeinfo>

#include <glog/logging.h>

#include "QorCrashHandler/TrackException.h"
#include "QorPointer/UniqueHandle.h"
#include "QorString/Utf.h"
#include "splash/ISplashEventObserver.h"
#include "splash/win/CallFailed.h"
#include "splash/win/ImageLoader.h"
#include "splash/win/SplashMessage.h"
#include "splash/win/SplashPopups.h"
#include "splash/win/SplashState.h"
#include "splash/win/SplashWindow.h"
#include "utils/Localization.h"
#include "utils/Settings.h"

namespace Nolvar {

namespace {

// How long a call waits for the window to appear before it gives up.
constexpr std::chrono::seconds kWindowWait{30};
constexpr char kVeryBad[] = "Something very bad and unexpected happened";
constexpr char kNoWindowForPopup[] = "Main window is not created, can't show \"no connection\" window";

std::string UserRoamingFolder() {
    Core::UniqueCoTaskPtr<PWSTR> folder;
    std::string result;
    if (!CallFailed(SHGetKnownFolderPath(FOLDERID_RoamingAppData, KF_FLAG_CREATE, nullptr, folder.put()),
                    "SHGetKnownFolderPath(FOLDERID_RoamingAppData)"))
        result = Core::Utf8FromWstring(folder.get());
    return result;
}

} // namespace

class WinSplash::Impl final : public ISettingsObserver, public ISplashWindowHost {
public:
    Impl(ISplashEventObserver& observer, ID2D1Factory* drawingFactory)
        : m_observer(observer), m_drawingFactory(drawingFactory) {
        const std::string locale = UserDefaultLocaleName();
        Settings::Set(Settings::ID::Locale, locale.empty() ? DefaultLocale() : locale);
        Settings::Set(Settings::ID::InstallFolder, Core::PathFromUtf8(UserRoamingFolder()));
        Settings::Subscribe(this);

        std::promise<int> started;
        std::future<int> running = started.get_future();
        m_uiThread = std::thread([this, promise = std::move(started)]() mutable { RunUiThread(promise); });
        running.wait();
    }

    ~Impl() override {
        Settings::Unsubscribe(this);
        m_closeRequested.store(true);
        if (HWND window = m_window.load()) PostMessageW(window, ToMessage(SplashMessage::CloseWindow), 0, 0);
        if (std::this_thread::get_id() == m_uiThread.get_id()) {
            LOG(ERROR) << "The splash is destroyed on its own UI thread; the thread is left to end alone";
            m_uiThread.detach();
            return;
        }
        if (m_uiThread.joinable()) m_uiThread.join();
    }

    SplashState& State() { return m_state; }

    void WaitUntilShown() { WaitForWindow(); }

    // Sends a message to the window once it exists; false when there is no window (it failed or has closed).
    bool Send(SplashMessage message, WPARAM wParam = 0, LPARAM lParam = 0) {
        HWND window = WaitForWindow();
        if (!window) return false;
        SendMessageW(window, ToMessage(message), wParam, lParam);
        return true;
    }

    // Shows a pop-up whose placeholder takes `value`. The value also travels with the message, so requests from
    // two threads never show each other's values.
    void ShowPopup(SplashMessage message, const wchar_t* placeholder, const std::string& value, WPARAM wParam = 0) {
        const std::wstring wide = Core::WstringFromUtf8(value);
        m_state.SetPlaceholder(placeholder, wide);
        Send(message, wParam, PackPlaceholderValue(&wide));
    }

    void Post(SplashTask task, WPARAM wParam = 0) {
        if (HWND window = m_window.load()) PostTask(window, task, wParam);
    }

    void Close() {
        m_closeRequested.store(true);
        Send(SplashMessage::CloseWindow);
    }

    void ShowNoConnectionPopup() {
        if (!Send(SplashMessage::ShowNoConnection)) {
            LOG(INFO) << kNoWindowForPopup;
            m_observer.OnExit(ScreenNumber(m_state.Screen()), kNoWindowForPopup);
        }
    }

    // ISettingsObserver (any thread): the window repaints in the new locale, the folder button shows the folder.
    void OnSettingChanged(Settings::ID id, const std::any&) override {
        if (id == Settings::ID::Locale) Post(SplashTask::LocaleChanged);
        else if (id == Settings::ID::InstallFolder) Post(SplashTask::InstallFolderChanged);
    }

    // ISplashWindowHost (UI thread)
    void OnWindowCreated(HWND window) override {
        {
            std::lock_guard lock(m_phaseMutex);
            m_window.store(window);
            m_phase = Phase::Created;
        }
        m_phaseChanged.notify_all();
    }

    void OnWindowDestroyed() override { m_window.store(nullptr); }

private:
    enum class Phase { Starting, Created, Ended };

    HWND WaitForWindow() {
        std::unique_lock lock(m_phaseMutex);
        if (std::this_thread::get_id() != m_uiThread.get_id())
            m_phaseChanged.wait_for(lock, kWindowWait, [this] { return m_phase != Phase::Starting; });
        return m_window.load();
    }

    void RunUiThread(std::promise<int>& started) {
        started.set_value(1);
        try {
            ComApartment com;
            GdiplusSession gdiplus;
            if (!gdiplus.ok()) throw std::runtime_error("Call to GdiPlusStartup failed");
            SplashWindow window(m_observer, m_state, *this, m_drawingFactory.Get());
            if (m_closeRequested.load()) window.Close();
            RunMessageLoop();
            if (const std::exception_ptr failure = window.Failure()) std::rethrow_exception(failure);
        } catch (const std::exception& e) {
            LOG(INFO) << e.what();
            Core::TrackException(typeid(e).name(), e.what());
            m_observer.OnExit(ScreenNumber(m_state.Screen()), e.what());
        } catch (...) {
            LOG(INFO) << kVeryBad;
            m_observer.OnExit(ScreenNumber(m_state.Screen()), kVeryBad);
        }
        {
            std::lock_guard lock(m_phaseMutex);
            m_window.store(nullptr);
            m_phase = Phase::Ended;
        }
        m_phaseChanged.notify_all();
    }

    static void RunMessageLoop() {
        MSG message{};
        for (;;) {
            const BOOL result = GetMessageW(&message, nullptr, 0, 0);
            if (result == 0) return;
            if (result == -1) {
                const DWORD error = GetLastError();  // before logging, which may change it
                LOG(WARNING) << "GetMessage failed with error " << error << "; the splash window stops";
                return;
            }
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }

    ISplashEventObserver& m_observer;
    Microsoft::WRL::ComPtr<ID2D1Factory> m_drawingFactory;
    SplashState m_state;
    std::atomic<HWND> m_window{nullptr};
    std::atomic<bool> m_closeRequested{false};
    std::mutex m_phaseMutex;
    std::condition_variable m_phaseChanged;
    Phase m_phase = Phase::Starting;
    std::thread m_uiThread;
};

WinSplash::WinSplash(ISplashEventObserver& observer, ID2D1Factory* drawingFactory)
    : m_impl(std::make_unique<Impl>(observer, drawingFactory)) {}

WinSplash::~WinSplash() = default;

void WinSplash::WaitUntilShown() { m_impl->WaitUntilShown(); }

void WinSplash::SetScreen(SplashScreen screen) {
    m_impl->Send(SplashMessage::SetScreen, PackScreen(screen));
}

void WinSplash::SetProgress(unsigned percent) {
    m_impl->Send(SplashMessage::Progress, PackProgress(percent));
}

void WinSplash::Close() { m_impl->Close(); }

void WinSplash::SetSplashImage(std::string encodedImage) {
    SplashState& state = m_impl->State();
    state.SetImage(SplashImageType::Main, std::move(encodedImage));
    if (state.IsMissing(SplashImageType::Main)) m_impl->Post(SplashTask::MainImageArrived);
}

void WinSplash::SetSplashImageMissing() { m_impl->State().SetMissing(SplashImageType::Main, true); }

void WinSplash::AddImage(SplashImageType type, std::string encodedImage) {
    SplashState& state = m_impl->State();
    switch (type) {
    case SplashImageType::Slideshow:
        state.AddSlideshowImage(std::move(encodedImage));
        if (state.Screen() == SplashScreen::Progress) SetScreen(SplashScreen::Progress);
        break;
    case SplashImageType::Wait:
    case SplashImageType::Ready:
        state.SetImage(type, std::move(encodedImage));
        break;
    default:
        break;
    }
}

void WinSplash::SetImageMissing(SplashImageType type) {
    if (type == SplashImageType::Slideshow || type == SplashImageType::Wait || type == SplashImageType::Ready)
        m_impl->State().SetMissing(type, true);
}

void WinSplash::SetCaption(const std::string& caption) { m_impl->State().SetCaption(caption); }

void WinSplash::SetCloseButtonHidden(int hidden) { m_impl->Post(SplashTask::SetCloseButtonHidden, hidden == 1); }

void WinSplash::ShowNoConnectionPopup() { m_impl->ShowNoConnectionPopup(); }

void WinSplash::ShowRetryPopup(const std::string& productDisplayName, ExitState exitState) {
    m_impl->ShowPopup(SplashMessage::ShowRetry, L"__RETRY_PRODUCT__", productDisplayName,
                      PackExitState(exitState));
}

void WinSplash::ShowPlatformPopup(const std::string& bitness) {
    m_impl->ShowPopup(SplashMessage::ShowPlatform, L"__PLATFORM__", bitness);
}

void WinSplash::ShowAlreadyRunningPopup(const std::string& productDisplayName) {
    m_impl->ShowPopup(SplashMessage::ShowAlreadyRunning, L"__PRODUCT_DISPLAY_NAME__", productDisplayName);
}

void WinSplash::ShowDiskSpacePopup(const std::string&, std::uint64_t requiredBytes, std::uint64_t availableBytes) {
    m_impl->ShowPopup(SplashMessage::ShowDiskSpace, L"__REQUIRED_SPACE__",
                      std::to_string(RequiredSpaceMegabytes(requiredBytes, availableBytes)));
}

void WinSplash::ShowCloseProductPopup(const std::string& productDisplayName) {
    m_impl->ShowPopup(SplashMessage::ShowCloseProduct, L"__PRODUCT_DISPLAY_NAME__", productDisplayName);
}

std::unique_ptr<ISplash> CreateSplash(ISplashEventObserver& observer) {
    return std::make_unique<WinSplash>(observer);
}

} // namespace Nolvar
