#pragma once
// A clickable child window drawn from one button style: four visual states from the mouse, an optional toggle
// with a checked flag, image layers and a text. Reports to its parent with SplashMessage::ButtonClicked,
// DisabledButtonClicked and ToggleChanged, sent as the last thing it does for a message.
#include <windows.h>
#include <d2d1.h>

#include <memory>
#include <string>

#include "splash/win/TextIds.h"
#include "splash/win/widgets/ButtonStyles.h"
#include "splash/win/widgets/IWidget.h"
#include "splash/win/widgets/WidgetDrawing.h"

namespace Nolvar {

class Button final : public IWidget {
public:
    enum State : int { Normal = 0, Hover = 1, Pressed = 2, Disabled = 3 };

    // `id` is the window's control id. Throws std::runtime_error when the window cannot be made or the style id is
    // unknown.
    static std::unique_ptr<Button> Create(int id, HWND parent, UiText::Id textId, ButtonStyleId::Id styleId,
                                          ID2D1Factory* factory, const WidgetRect& rect, State initialState);
    ~Button() override;

    unsigned short id() const override;
    void setBackground(const SharedBitmap& bitmap) override;
    void redraw() override;
    ID2D1RenderTarget* renderTarget() const override;
    Button* asButton() override { return this; }

    void SetToggle(bool toggle);
    void SetChecked(bool checked);
    void SetImagesHidden(bool hidden);
    // Stores the state and repaints (at once on the button's thread, else through an invalidation).
    void SetState(State state);
    // The text shown instead of the text id's; no repaint.
    void SetText(const std::wstring& text);

    State state() const;
    bool checked() const;
    HWND window() const;

    class Impl;

private:
    explicit Button(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m_impl;
};

} // namespace Nolvar
