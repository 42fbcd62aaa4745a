#include "splash/win/StartupDrawing.h"

#include <stdexcept>
#include <utility>

#include "splash/win/CallFailed.h"
#include "splash/win/widgets/WidgetDrawing.h"

namespace Nolvar {

using Microsoft::WRL::ComPtr;

void StartupDrawing::Start(HWND window, ID2D1Factory* factory, Ready ready) {
    if (m_phase != Phase::FirstFrame) return;
    m_phase = Phase::MakingDirect2D;
    std::promise<DrawingParts> parts;
    m_parts = parts.get_future();
    m_maker = std::jthread([window, given = ComPtr<ID2D1Factory>(factory), parts = std::move(parts),
                            ready = std::move(ready)]() mutable {
        try {
            DrawingParts made;
            made.factory = given;
            if (!made.factory &&
                CallFailed(D2D1CreateFactory(D2D1_FACTORY_TYPE_MULTI_THREADED, made.factory.GetAddressOf()),
                           "D2D1CreateFactory"))
                throw std::runtime_error("Cannot create the Direct2D factory");
            made.target = CreateWidgetRenderTarget(made.factory.Get(), window);
            made.dwrite = SharedDirectWriteFactory();
            parts.set_value(std::move(made));
        } catch (...) {
            parts.set_exception(std::current_exception());
        }
        ready();
    });
}

std::optional<DrawingParts> StartupDrawing::Take() {
    switch (m_phase) {
    case Phase::FirstFrame:
        throw std::logic_error("The Direct2D parts are taken before they were started");
    case Phase::MakingDirect2D:
        m_phase = Phase::Direct2D;
        return m_parts.get();
    case Phase::Direct2D:
        break;
    }
    return std::nullopt;
}

} // namespace Nolvar
