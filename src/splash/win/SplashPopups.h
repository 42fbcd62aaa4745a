#pragma once
// Which pop-up each request of the splash window shows, and what each answer means to the installer logic.
#include <cstdint>
#include <string>
#include <vector>

#include <windows.h>

#include "splash/win/SplashMessage.h"
#include "splash/win/TextIds.h"
#include "splash/win/widgets/Popups.h"

namespace Nolvar {

struct PopupRequest {
    PopupKind kind = PopupKind::Question;
    UiText::Id textId = UiText::None;
    WORD popupId = 0;
    std::vector<WORD> buttonIds;
    std::wstring placeholder;    // empty when the text has none
};

// The cancel question (WM_CLOSE on screens 1 to 4).
PopupRequest CancelQuestionRequest();
// The pop-up of a Show... message; ShowRetry takes the installer exit state. False for any other message.
bool PopupRequestForMessage(SplashMessage message, int exitState, PopupRequest* request);

// Text of the pop-up as the logic's statistics report it: English, with the first occurrence of the placeholder
// replaced by its value (when there is one). Only information and retry pop-ups have one.
bool ReportsFinalText(PopupKind kind);
std::string FinalText(const PopupRequest& request, const std::wstring* placeholderValue);

enum class PopupAnswer {
    Nothing,          // keep running
    ExitByUser,       // OnExit(screen, "USER"), then close the window
    ExitWithText,     // OnExit(screen, final text), then close the window
    Retry,            // OnRetryPressed
    RetryCancelled,   // OnRetryCancelled
};

// What the answer `buttonId` (0: the pop-up window was closed) to pop-up `popupId` means.
PopupAnswer AnswerOf(WORD popupId, WORD buttonId);

// The "__REQUIRED_SPACE__" value: the missing space in whole megabytes of 1000000 bytes, at least 1.
std::uint64_t RequiredSpaceMegabytes(std::uint64_t requiredBytes, std::uint64_t availableBytes);

} // namespace Nolvar
