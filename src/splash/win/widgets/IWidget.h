#pragma once
// What a window holds of each of its widgets: its id, its background, painting and its render target.
#include <d2d1.h>

#include <memory>

#include "splash/win/ImageLoader.h"

namespace Nolvar {

class Button;
class Label;
class ProgressBar;
class ScrollArea;

class IWidget {
public:
    virtual ~IWidget() = default;
    virtual unsigned short id() const = 0;
    // The window's background image, for widgets that draw the part under themselves.
    virtual void setBackground(const SharedBitmap& bitmap) = 0;
    // Paints now (labels: into the render target they were given, inside its owner's drawing).
    virtual void redraw() = 0;
    // The render target the widget draws into; null when it could not be made.
    virtual ID2D1RenderTarget* renderTarget() const = 0;
    virtual Button* asButton() { return nullptr; }
    virtual ProgressBar* asProgressBar() { return nullptr; }
    virtual Label* asLabel() { return nullptr; }
    virtual ScrollArea* asScrollArea() { return nullptr; }
};

using WidgetPtr = std::unique_ptr<IWidget>;

} // namespace Nolvar
