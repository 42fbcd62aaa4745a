#pragma once
// The view the splash window shows before its first screen: white, the spinner and "Please wait..." below it. Its
// first frames are painted with GDI, while nothing of Direct2D exists, the spinner standing still; once the window
// draws with Direct2D the spinner turns, 10 degrees a tick. Used on the window's thread; only the tick notices come
// from the timer's thread.
#include <windows.h>
#include <d2d1.h>
#include <dwrite.h>

#include <atomic>
#include <functional>
#include <memory>

#include "splash/win/ImageLoader.h"
#include "splash/win/widgets/DeviceBitmap.h"
#include "utils/win/Timer.h"

namespace Nolvar {

constexpr int kSpinnerTickMs = 8;

class SpinnerView {
public:
    // Runs on the timer's thread; the owner hands the tick to Tick on its own thread. A tick is not noticed again
    // while the last notice has not reached Tick.
    using TickNotice = std::function<void()>;

    // The spinner image is decoded into `images`, which outlives the view.
    explicit SpinnerView(ImageLoader& images) : m_bitmap(images), m_images(images) {}
    SpinnerView(const SpinnerView&) = delete;
    SpinnerView& operator=(const SpinnerView&) = delete;

    // Decodes the spinner image on a thread of its own while `meanwhile` runs on this one (the loader serves one
    // thread at a time: this one waits for the decoder before it returns). Throws what either threw.
    void LoadWhile(const std::function<void()>& meanwhile);
    // Starts the ticks.
    void StartTurning(TickNotice notice);
    // No tick follows (a notice on its way still comes).
    void Stop();
    // A tick noticed earlier: true when the view has turned and must be repainted (`turns`: it is drawn with
    // Direct2D and still on show).
    bool Tick(bool turns);

    // The target the Direct2D frames are drawn into (the owner's device-resources step; null releases).
    void SetTarget(ID2D1RenderTarget* target) { m_bitmap.SetTarget(target); }
    // One WM_PAINT of `window` with GDI.
    void PaintGdi(HWND window, unsigned dpi) const;
    // Draws the view into `target`, which is being drawn, the text in `format` with `brush` (either null: no text).
    void Paint(ID2D1RenderTarget* target, IDWriteTextFormat* format, ID2D1Brush* brush) const;

private:
    static constexpr int kResource = 37;  // the spinner image, an RT_RCDATA PNG
    static constexpr int kTurnDegrees = 10;

    SharedBitmap m_decoded;  // the GDI frames'
    DeviceBitmap m_bitmap;   // the Direct2D frames'
    ImageLoader& m_images;
    int m_angle = 0;
    std::atomic<bool> m_tickPending{false};
    std::unique_ptr<Timer> m_timer;  // declared last: stopped before the flag goes
};

} // namespace Nolvar
