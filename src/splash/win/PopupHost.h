#pragma once
// The splash window's pop-ups and their lifetime: at most one message pop-up is open, with the window disabled
// meanwhile; an answered one is hidden at once and destroyed only once its window procedure has returned; the
// locale pop-up is made on first use and kept. Used on the window's thread only.
#include <windows.h>
#include <d2d1.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "splash/win/SplashPopups.h"
#include "splash/win/widgets/Popups.h"

namespace Nolvar {

class ISplashEventObserver;
class SplashState;

class PopupHost {
public:
    // Called from Answered, inside the answered pop-up's window procedure; the owner calls ReleaseAnswered once
    // that has returned (a task it posts itself).
    using ReleaseLater = std::function<void()>;

    // The observer hears of the pop-ups that report their text; `state` holds the stored placeholder values.
    PopupHost(ISplashEventObserver& observer, SplashState& state, ReleaseLater releaseLater);
    PopupHost(const PopupHost&) = delete;
    PopupHost& operator=(const PopupHost&) = delete;

    // Shows the request's pop-up over `owner` and disables the owner. `value` is the placeholder's value that came
    // with the request (null: the stored one). A request while another pop-up is open is dropped and logged.
    void Show(HWND owner, ID2D1Factory* factory, const PopupRequest& request, const std::wstring* value);
    // The open pop-up was answered: the owner is enabled again and the pop-up hidden, to be destroyed by
    // ReleaseAnswered later. Returns the pop-up's final text (empty for kinds that report none).
    std::string Answered(HWND owner);
    // Destroys the answered pop-ups.
    void ReleaseAnswered() { m_answered.clear(); }
    // The language list over `languageButton`.
    void ShowLocalePopup(HWND owner, HWND languageButton, ID2D1Factory* factory);

private:
    ISplashEventObserver& m_observer;
    SplashState& m_state;
    ReleaseLater m_releaseLater;
    std::unique_ptr<ChangeLocalePopup> m_localePopup;
    std::unique_ptr<PopupMessage> m_open;
    std::string m_finalText;  // of the last pop-up shown
    std::vector<std::unique_ptr<PopupMessage>> m_answered;
};

} // namespace Nolvar
