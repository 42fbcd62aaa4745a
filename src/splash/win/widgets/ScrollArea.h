#pragma once
// The licence text with a thin custom scroll bar: loads the text of the current locale (and again on a locale
// change), reports whether there was one, and scrolls by lines (wheel, arrow keys, clicks on the bar) or by
// dragging the thumb. While the text fits, scroll input changes nothing.
#include <windows.h>
#include <d2d1.h>

#include <functional>
#include <memory>
#include <string>

#include "splash/ISplashEventObserver.h"
#include "splash/win/widgets/IWidget.h"
#include "splash/win/widgets/WidgetDrawing.h"

namespace Nolvar {

class ScrollArea final : public IWidget {
public:
    // UTF-8 text of the current locale; the licence text by default.
    using TextLoader = std::function<std::string()>;

    static std::unique_ptr<ScrollArea> Create(int id, HWND parent, ID2D1Factory* factory, const WidgetRect& rect,
                                              ISplashEventObserver& observer, TextLoader loader = {});
    ~ScrollArea() override;

    unsigned short id() const override;
    // The text lies on a colour of its own, not on the window's background.
    void setBackground(const SharedBitmap&) override {}
    void redraw() override;
    ID2D1RenderTarget* renderTarget() const override;
    ScrollArea* asScrollArea() override { return this; }

    HWND textWindow() const;
    HWND barWindow() const;
    // For checks: whether the text overflows, the thumb's top and height (bar DIPs) and the text offset (DIPs).
    bool scrollable() const;
    float thumbTop() const;
    float thumbHeight() const;
    float textOffset() const;

    class Impl;

private:
    explicit ScrollArea(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m_impl;
};

} // namespace Nolvar
