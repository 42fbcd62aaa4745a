#include "splash/win/SplashPopups.h"

#include <algorithm>

#include "QorString/Utf.h"
#include "splash/win/TextIds.h"
#include "utils/Localization.h"

namespace Nolvar {

PopupRequest CancelQuestionRequest() {
    return {PopupKind::Question, UiText::CancelQuestion, CancelQuestionPopup, {OkButton, YesButton, NoButton}, {}};
}

bool PopupRequestForMessage(SplashMessage message, int exitState, PopupRequest* request) {
    switch (message) {
    case SplashMessage::ShowNoConnection:
        *request = {PopupKind::Information, UiText::NoConnection, InformationPopup, {OkButton, WarningCancelButton},
                    {}};
        return true;
    case SplashMessage::ShowPlatform:
        *request = {PopupKind::Information, UiText::WrongPlatform, InformationPopup, {OkButton, WarningCancelButton},
                    L"__PLATFORM__"};
        return true;
    case SplashMessage::ShowAlreadyRunning:
        *request = {PopupKind::Information, UiText::AlreadyRunning, InformationPopup, {OkButton},
                    L"__PRODUCT_DISPLAY_NAME__"};
        return true;
    case SplashMessage::ShowCloseProduct:
        *request = {PopupKind::Warning, UiText::CloseProduct, RetryPopup, {TryAgainButton, WarningCancelButton},
                    L"__PRODUCT_DISPLAY_NAME__"};
        return true;
    case SplashMessage::ShowRetry:
        *request = {PopupKind::Retry, static_cast<UiText::Id>(RetryTextIdForExitState(exitState)), RetryPopup,
                    {OkButton, SkipButton, TryAgainButton, RetryCancelButton}, L"__RETRY_PRODUCT__"};
        return true;
    case SplashMessage::ShowDiskSpace:
        *request = {PopupKind::Warning, UiText::NotEnoughSpace, RetryPopup, {TryAgainButton, WarningCancelButton},
                    L"__REQUIRED_SPACE__"};
        return true;
    default:
        return false;
    }
}

bool ReportsFinalText(PopupKind kind) { return kind == PopupKind::Information || kind == PopupKind::Retry; }

std::string FinalText(const PopupRequest& request, const std::wstring* placeholderValue) {
    std::string text = Core::Utf8FromWstring(Tr(request.textId, "en-US"));
    if (request.placeholder.empty() || !placeholderValue) return text;
    const std::string name = Core::Utf8FromWstring(request.placeholder);
    const std::size_t at = text.find(name);
    if (at != std::string::npos) text.replace(at, name.size(), Core::Utf8FromWstring(*placeholderValue));
    return text;
}

PopupAnswer AnswerOf(WORD popupId, WORD buttonId) {
    switch (popupId) {
    case CancelQuestionPopup:
        return buttonId == YesButton ? PopupAnswer::ExitByUser : PopupAnswer::Nothing;
    case InformationPopup:
        return PopupAnswer::ExitWithText;
    case RetryPopup:
        switch (buttonId) {
        case TryAgainButton: return PopupAnswer::Retry;
        case SkipButton:
        case RetryCancelButton: return PopupAnswer::RetryCancelled;
        case WarningCancelButton: return PopupAnswer::ExitByUser;
        default: return PopupAnswer::Nothing;
        }
    default:
        return PopupAnswer::Nothing;
    }
}

std::uint64_t RequiredSpaceMegabytes(std::uint64_t requiredBytes, std::uint64_t availableBytes) {
    const std::uint64_t missing = requiredBytes > availableBytes ? requiredBytes - availableBytes : 0;
    return std::max<std::uint64_t>(1, missing / 1000000);
}

} // namespace Nolvar
