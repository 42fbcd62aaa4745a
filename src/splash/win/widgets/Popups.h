#pragma once
// The two small top-level windows the splash opens over itself: the language list that drops over the language
// button, and the message pop-up with an icon, a centred text and one to three answer buttons.
#include <windows.h>
#include <d2d1.h>

#include <memory>
#include <string>
#include <vector>

#include "splash/win/TextIds.h"
#include "splash/win/widgets/IWidget.h"

namespace Nolvar {

class ChangeLocalePopup {
public:
    static constexpr int kFirstRowId = 3393;
    static constexpr int kRowHeight = 17;

    ChangeLocalePopup(HWND parent, HWND languageButton, ID2D1Factory* factory);
    ~ChangeLocalePopup();
    ChangeLocalePopup(const ChangeLocalePopup&) = delete;
    ChangeLocalePopup& operator=(const ChangeLocalePopup&) = delete;

    // Shows the list over the button, without activating it, and gives it the keyboard focus.
    void Show(HWND languageButton);
    void Hide();
    HWND window() const;
    const std::vector<std::string>& locales() const;

    class Impl;

private:
    std::unique_ptr<Impl> m_impl;
};

enum class PopupKind : int { Question = 0, Information = 1, Retry = 2, Warning = 3 };

class PopupMessage {
public:
    // Button ids are taken by position for the kind's buttons; the parent receives SplashMessage::PopupResult.
    PopupMessage(PopupKind kind, UiText::Id textId, HWND parent, ID2D1Factory* factory, int popupId,
                 const std::vector<unsigned short>& buttonIds, const std::wstring& placeholderName = {});
    ~PopupMessage();
    PopupMessage(const PopupMessage&) = delete;
    PopupMessage& operator=(const PopupMessage&) = delete;

    // Centred on the screen, topmost.
    void Show();
    void SetPlaceholderValue(const std::wstring& value);
    // The text in "en-US" without the placeholder filled in, as UTF-8.
    std::string EnglishText() const;
    HWND window() const;
    // Width in 96-DPI units: 350, or 130 x n - 40 with n >= 4 button ids.
    int popupWidth() const;
    const std::vector<WidgetPtr>& widgets() const;

    class Impl;

private:
    std::unique_ptr<Impl> m_impl;
};

} // namespace Nolvar
