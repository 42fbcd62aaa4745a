#pragma once
// The splash window's own messages, the tasks posted to it, and the messages' parameter layouts. Widgets and
// pop-ups send the messages to their parent window with SendMessageW; each parameter is packed and unpacked only
// through the functions below.
#include <windows.h>

#include <string>

#include "splash/ISplash.h"

namespace Nolvar {

// First and Last bound the range the window hands to its message handler: a new message goes between them.
enum class SplashMessage : UINT {
    First = WM_USER + 1,
    Progress = First,                     // PackProgress
    ButtonClicked = WM_USER + 2,          // PackWidgetId
    DisabledButtonClicked = WM_USER + 3,  // PackWidgetId
    PopupResult = WM_USER + 4,            // PackPopupResult
    ShowNoConnection = WM_USER + 5,       // the Show... pop-ups: lParam PackPlaceholderValue
    ShowPlatform = WM_USER + 6,
    ShowAlreadyRunning = WM_USER + 7,
    ShowCloseProduct = WM_USER + 8,
    ShowRetry = WM_USER + 9,              // PackExitState
    CloseWindow = WM_USER + 10,
    ToggleChanged = WM_USER + 11,         // PackToggleChanged
    SetScreen = WM_USER + 12,             // PackScreen
    ShowDiskSpace = WM_USER + 13,
    Last = ShowDiskSpace,
};

// Tasks the window's own helpers and other threads post to it (never sent: the UI thread may be waiting for them).
// First and Last bound the range the window hands to its task handler: a new task goes between them.
enum class SplashTask : UINT {
    First = WM_APP + 1,
    SpinnerTick = First,
    CloseButtonDelayOver = WM_APP + 2,  // wParam: the delay's generation
    InstallFolderChanged = WM_APP + 3,
    SetCloseButtonHidden = WM_APP + 4,  // wParam: 1 hides
    LocaleChanged = WM_APP + 5,         // the window lays its own texts out again and repaints
    ReleasePopups = WM_APP + 6,         // pop-ups answered earlier are destroyed
    DrawingReady = WM_APP + 7,          // the Direct2D render target and DirectWrite factory are made
    MainImageArrived = WM_APP + 8,      // the main image came after its screen was shown without it
    Last = MainImageArrived,
};

constexpr UINT ToMessage(SplashMessage message) { return static_cast<UINT>(message); }

// Posts the task to the window, from any thread.
inline void PostTask(HWND window, SplashTask task, WPARAM wParam = 0) {
    PostMessageW(window, static_cast<UINT>(task), wParam, 0);
}

// Whether `message` lies in the range of a message enum with First and Last entries.
template <class Messages>
constexpr bool IsOneOf(UINT message) {
    return message >= static_cast<UINT>(Messages::First) && message <= static_cast<UINT>(Messages::Last);
}

// Progress: the percent, cut to 16 bits, in both 16-bit halves; the low half is read.
constexpr WPARAM PackProgress(unsigned percent) {
    const WPARAM half = percent & 0xFFFF;
    return (half << 16) | half;
}
constexpr unsigned UnpackProgress(WPARAM wParam) { return static_cast<unsigned>(wParam & 0xFFFF); }

// ButtonClicked and DisabledButtonClicked: the widget id.
constexpr WPARAM PackWidgetId(WORD widgetId) { return widgetId; }
constexpr WORD UnpackWidgetId(WPARAM wParam) { return static_cast<WORD>(wParam & 0xFFFF); }

// PopupResult: the pop-up id in the low 16 bits, the button id (0: the pop-up window was closed) in the high ones.
struct PopupResultParam {
    WORD popupId = 0;
    WORD buttonId = 0;
};
constexpr WPARAM PackPopupResult(WORD popupId, WORD buttonId) {
    return (static_cast<WPARAM>(buttonId) << 16) | popupId;
}
constexpr PopupResultParam UnpackPopupResult(WPARAM wParam) {
    return {static_cast<WORD>(wParam & 0xFFFF), static_cast<WORD>((wParam >> 16) & 0xFFFF)};
}

// ToggleChanged: the widget id in the low 16 bits; the high 16 bits are non-zero (bit 16 set) when checked.
struct ToggleChangedParam {
    WORD widgetId = 0;
    bool checked = false;
};
constexpr WPARAM PackToggleChanged(WORD widgetId, bool checked) {
    return static_cast<WPARAM>(widgetId) | (checked ? WPARAM{1} << 16 : 0);
}
constexpr ToggleChangedParam UnpackToggleChanged(WPARAM wParam) {
    return {static_cast<WORD>(wParam & 0xFFFF), ((wParam >> 16) & 0xFFFF) != 0};
}

// SetScreen: the screen's number (any int: an unknown one is refused by the window).
constexpr WPARAM PackScreen(SplashScreen screen) { return static_cast<WPARAM>(static_cast<int>(screen)); }
constexpr SplashScreen UnpackScreen(WPARAM wParam) { return static_cast<SplashScreen>(static_cast<int>(wParam)); }

// ShowRetry: the installer's exit state.
constexpr WPARAM PackExitState(ExitState state) { return static_cast<WPARAM>(static_cast<std::uint32_t>(state)); }
constexpr ExitState UnpackExitState(WPARAM wParam) { return static_cast<ExitState>(wParam); }

// The Show... pop-ups: the placeholder's value that travels with the message (null: the stored one is shown). It
// lives on the sender's stack: the message is sent, never posted.
inline LPARAM PackPlaceholderValue(const std::wstring* value) { return reinterpret_cast<LPARAM>(value); }
inline const std::wstring* UnpackPlaceholderValue(LPARAM lParam) {
    return reinterpret_cast<const std::wstring*>(lParam);
}

// Ids of the splash window's widgets (also their windows' control ids).
enum WidgetId : WORD {
    LanguageCaption = 34466,
    FolderCaption = 34467,
    WaitText = 34468,
    InstallButton = 34469,
    CloseButton = 34470,
    StartButton = 34471,
    AgreementText = 34472,
    LicenceLink = 34473,
    LicenceText = 34474,
    SaveLicenceButton = 34475,
    SettingsToggle = 34476,
    ProgressBarId = 34477,
    ActivityBar = 34478,
    LanguageButton = 34479,
    FolderButton = 34480,
};

// Pop-up ids and the ids of their answer buttons (the information pop-up's OK shares the close button's id).
enum PopupId : WORD {
    CancelQuestionPopup = 34481,
    InformationPopup = 34482,
    RetryPopup = 34483,
};

enum PopupButtonId : WORD {
    OkButton = 34470,
    YesButton = 34485,
    NoButton = 34486,
    SkipButton = 34487,
    TryAgainButton = 34488,
    RetryCancelButton = 34489,
    WarningCancelButton = 34490,
};

} // namespace Nolvar
