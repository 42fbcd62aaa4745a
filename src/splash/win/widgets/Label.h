#pragma once
// One localized text drawn into a render target owned by another window, inside that window's drawing.
#include <windows.h>
#include <d2d1.h>

#include <memory>
#include <string>

#include "splash/win/TextIds.h"
#include "splash/win/widgets/IWidget.h"
#include "splash/win/widgets/WidgetDrawing.h"

namespace Nolvar {

class Label final : public IWidget {
public:
    // `target` is borrowed: its owner outlives the label.
    static std::unique_ptr<Label> Create(int id, UiText::Id textId, POINT position, ID2D1RenderTarget* target,
                                         const std::wstring& placeholderName = {}, float inset = 0, float raise = 0);
    ~Label() override;

    unsigned short id() const override;
    void setBackground(const SharedBitmap& bitmap) override;
    void redraw() override;
    ID2D1RenderTarget* renderTarget() const override;
    Label* asLabel() override { return this; }

    // The target drawn into from now on (its owner made it again after a lost device; null: none for now).
    void SetRenderTarget(ID2D1RenderTarget* target);
    void SetFontSize(float size);
    void SetPlaceholderValue(const std::wstring& value);
    void SetTextId(UiText::Id id);
    // Where the text sits across the target (Start: left); from the next paint on.
    void SetAlignment(Align::Id alignment);
    // The text as shown now.
    std::wstring text() const;

    class Impl;

private:
    explicit Label(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m_impl;
};

} // namespace Nolvar
