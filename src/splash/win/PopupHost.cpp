#include "splash/win/PopupHost.h"

#include <optional>
#include <utility>

#include <glog/logging.h>

#include "splash/ISplashEventObserver.h"
#include "splash/win/SplashState.h"

namespace Nolvar {

PopupHost::PopupHost(ISplashEventObserver& observer, SplashState& state, ReleaseLater releaseLater)
    : m_observer(observer), m_state(state), m_releaseLater(std::move(releaseLater)) {}

void PopupHost::Show(HWND owner, ID2D1Factory* factory, const PopupRequest& request, const std::wstring* value) {
    if (m_open) {
        LOG(WARNING) << "Pop-up " << request.popupId << " with text " << request.textId
                     << " not shown: another pop-up is open";
        return;
    }
    std::optional<std::wstring> stored;
    if (!value && !request.placeholder.empty()) {
        stored = m_state.Placeholder(request.placeholder);
        if (stored) value = &*stored;
    }
    m_open = std::make_unique<PopupMessage>(request.kind, request.textId, owner, factory, request.popupId,
                                            request.buttonIds, request.placeholder);
    if (!request.placeholder.empty() && value) m_open->SetPlaceholderValue(*value);
    m_finalText.clear();
    if (ReportsFinalText(request.kind)) {
        m_finalText = FinalText(request, value);
        m_observer.OnSomethingWrongShown(m_finalText);
    }
    m_open->Show();
    EnableWindow(owner, FALSE);
}

std::string PopupHost::Answered(HWND owner) {
    EnableWindow(owner, TRUE);
    // The pop-up's window procedure is still running: it goes once the answer has been handled.
    if (m_open) {
        if (HWND popup = m_open->window()) ShowWindow(popup, SW_HIDE);
        m_answered.push_back(std::move(m_open));
        m_releaseLater();
    }
    return m_finalText;
}

void PopupHost::ShowLocalePopup(HWND owner, HWND languageButton, ID2D1Factory* factory) {
    if (!m_localePopup) m_localePopup = std::make_unique<ChangeLocalePopup>(owner, languageButton, factory);
    m_localePopup->Show(languageButton);
}

} // namespace Nolvar
