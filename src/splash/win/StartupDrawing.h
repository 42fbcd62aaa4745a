#pragma once
// How the splash window draws while it starts. Its first frame is painted with GDI while nothing of Direct2D is
// loaded; only then are the Direct2D factory, the window's render target and the DirectWrite factory made, on a
// thread of their own (Direct3D's first device costs about a second under Wine), and the window draws with them
// once it has taken them. Used on the window's thread only.
#include <windows.h>
#include <d2d1.h>
#include <dwrite.h>
#include <wrl/client.h>

#include <functional>
#include <future>
#include <optional>
#include <thread>

namespace Nolvar {

// What Direct2D drawing needs and is slow to make. None of it belongs to an apartment (the factory is
// multi-threaded, DirectWrite's shared factory is free-threaded): all is used and released on the window's thread.
struct DrawingParts {
    Microsoft::WRL::ComPtr<ID2D1Factory> factory;
    Microsoft::WRL::ComPtr<ID2D1DCRenderTarget> target;
    Microsoft::WRL::ComPtr<IDWriteFactory> dwrite;
};

class StartupDrawing {
public:
    StartupDrawing() = default;
    StartupDrawing(const StartupDrawing&) = delete;
    StartupDrawing& operator=(const StartupDrawing&) = delete;

    bool usesDirect2D() const { return m_phase == Phase::Direct2D; }

    // Runs on the maker's thread once the parts are made or have failed; the owner hands the news to its own
    // thread, which takes them.
    using Ready = std::function<void()>;

    // Once the first frame is painted: makes the parts for `window` on a thread of their own, with `factory` (a
    // multi-threaded Direct2D factory; null: one is made), and calls `ready` when they are made or have failed.
    // Nothing after the first call.
    void Start(HWND window, ID2D1Factory* factory, Ready ready);
    // The parts, the first time (waiting for them while they are being made); nullopt after that. Throws what
    // making them threw, once; std::logic_error before Start.
    std::optional<DrawingParts> Take();

private:
    enum class Phase {
        FirstFrame,      // the first frame is painted with GDI; nothing of Direct2D is loaded
        MakingDirect2D,  // the parts are being made; frames are still painted with GDI
        Direct2D,        // the window has taken the parts and draws with them
    };

    Phase m_phase = Phase::FirstFrame;
    std::future<DrawingParts> m_parts;
    std::jthread m_maker;  // declared last: joined before the future goes
};

} // namespace Nolvar
