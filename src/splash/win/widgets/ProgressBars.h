#pragma once
// The installation progress bar (a thin two-colour bar with "... (__PERCENT__% finished)" under it) and the
// activity indicator (a segment sweeping from left to right every 3 seconds, repainted every 8 ms).
#include <windows.h>
#include <d2d1.h>

#include <memory>

#include "splash/win/widgets/IWidget.h"
#include "splash/win/widgets/WidgetDrawing.h"

namespace Nolvar {

class ProgressBar final : public IWidget {
public:
    static std::unique_ptr<ProgressBar> Create(int id, const WidgetRect& rect, ID2D1Factory* factory, HWND parent);
    ~ProgressBar() override;

    unsigned short id() const override;
    void setBackground(const SharedBitmap&) override {}
    void redraw() override {}
    ID2D1RenderTarget* renderTarget() const override;
    ProgressBar* asProgressBar() override { return this; }

    // Stores the percent and repaints.
    void SetValue(int percent);
    int value() const;
    HWND window() const;

    class Impl;

private:
    explicit ProgressBar(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m_impl;
};

class ProgressIndicator final : public IWidget {
public:
    static std::unique_ptr<ProgressIndicator> Create(int id, const WidgetRect& rect, ID2D1Factory* factory,
                                                     HWND parent);
    // Stops and joins the timer before the window goes.
    ~ProgressIndicator() override;

    unsigned short id() const override;
    void setBackground(const SharedBitmap&) override {}
    void redraw() override {}
    ID2D1RenderTarget* renderTarget() const override;
    HWND window() const;

    // The highlighted segment [left, right) for a bar of width `width` at `seconds` since the indicator started.
    static std::pair<float, float> SegmentAt(double seconds, float width);

    class Impl;

private:
    explicit ProgressIndicator(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m_impl;
};

} // namespace Nolvar
