#pragma once
// The splash window's own messages. Widgets and pop-ups send them to their parent window with SendMessageW.
#include <windows.h>

namespace Nolvar {

// First and Last bound the range the window hands to its message handler: a new message goes between them.
enum class SplashMessage : UINT {
    First = WM_USER + 1,
    Progress = First,                     // wParam: percent in the low 16 bits
    ButtonClicked = WM_USER + 2,          // wParam: widget id
    DisabledButtonClicked = WM_USER + 3,  // wParam: widget id
    PopupResult = WM_USER + 4,            // wParam: pop-up id in the low 16 bits, button id in the high 16 bits
    ShowNoConnection = WM_USER + 5,
    ShowPlatform = WM_USER + 6,
    ShowAlreadyRunning = WM_USER + 7,
    ShowCloseProduct = WM_USER + 8,
    ShowRetry = WM_USER + 9,              // wParam: installer exit state
    CloseWindow = WM_USER + 10,
    ToggleChanged = WM_USER + 11,         // wParam: widget id in the low 16 bits, bit 16 set when checked
    SetScreen = WM_USER + 12,             // wParam: screen
    ShowDiskSpace = WM_USER + 13,
    Last = ShowDiskSpace,
};

constexpr UINT ToMessage(SplashMessage message) { return static_cast<UINT>(message); }

// Whether `message` lies in the range of a message enum with First and Last entries.
template <class Messages>
constexpr bool IsOneOf(UINT message) {
    return message >= static_cast<UINT>(Messages::First) && message <= static_cast<UINT>(Messages::Last);
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
