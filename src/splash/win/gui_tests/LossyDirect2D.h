#pragma once
// A Direct2D factory over a real one whose DC render targets draw for real, except that after LoseDevice() every
// target made before answers its EndDraw with D2DERR_RECREATE_TARGET, as after a display-driver reset, until it
// is released; and that after RefuseTargets(n) the next n targets cannot be made.
#include <d2d1.h>
#include <windows.h>
#include <wrl/client.h>

#include <atomic>
#include <memory>

namespace WidgetTesting {

struct DeviceLossState {
    std::atomic<int> generation{0};  // raised by each LoseDevice
    std::atomic<int> targetsMade{0};
    std::atomic<int> lossesReported{0};
    std::atomic<int> refusalsLeft{0};
    std::atomic<int> targetsRefused{0};
};

class LossyFactory final : public ID2D1Factory {
public:
    // Over a multi-threaded factory (the splash window's kind); null when Direct2D refuses.
    static Microsoft::WRL::ComPtr<LossyFactory> Create();

    // The targets made so far have lost their device.
    void LoseDevice() { ++m_state->generation; }
    // The next `count` CreateDCRenderTarget calls fail with E_OUTOFMEMORY.
    void RefuseTargets(int count) { m_state->refusalsLeft = count; }
    int targetsMade() const { return m_state->targetsMade; }
    int targetsRefused() const { return m_state->targetsRefused; }
    int lossesReported() const { return m_state->lossesReported; }

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_references; }
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP CreateDCRenderTarget(const D2D1_RENDER_TARGET_PROPERTIES* renderTargetProperties,
                                      ID2D1DCRenderTarget** dcRenderTarget) override;
    STDMETHODIMP ReloadSystemMetrics() override { return m_real->ReloadSystemMetrics(); }
    STDMETHODIMP_(void) GetDesktopDpi(FLOAT* dpiX, FLOAT* dpiY) override { m_real->GetDesktopDpi(dpiX, dpiY); }
    STDMETHODIMP CreateRectangleGeometry(const D2D1_RECT_F* rectangle,
                                         ID2D1RectangleGeometry** rectangleGeometry) override {
        return m_real->CreateRectangleGeometry(rectangle, rectangleGeometry);
    }
    STDMETHODIMP CreateRoundedRectangleGeometry(const D2D1_ROUNDED_RECT* roundedRectangle,
                                                ID2D1RoundedRectangleGeometry** roundedRectangleGeometry) override {
        return m_real->CreateRoundedRectangleGeometry(roundedRectangle, roundedRectangleGeometry);
    }
    STDMETHODIMP CreateEllipseGeometry(const D2D1_ELLIPSE* ellipse, ID2D1EllipseGeometry** ellipseGeometry) override {
        return m_real->CreateEllipseGeometry(ellipse, ellipseGeometry);
    }
    STDMETHODIMP CreateGeometryGroup(D2D1_FILL_MODE fillMode, ID2D1Geometry** geometries, UINT geometriesCount,
                                     ID2D1GeometryGroup** geometryGroup) override {
        return m_real->CreateGeometryGroup(fillMode, geometries, geometriesCount, geometryGroup);
    }
    STDMETHODIMP CreateTransformedGeometry(ID2D1Geometry* sourceGeometry, const D2D1_MATRIX_3X2_F* transform,
                                           ID2D1TransformedGeometry** transformedGeometry) override {
        return m_real->CreateTransformedGeometry(sourceGeometry, transform, transformedGeometry);
    }
    STDMETHODIMP CreatePathGeometry(ID2D1PathGeometry** pathGeometry) override {
        return m_real->CreatePathGeometry(pathGeometry);
    }
    STDMETHODIMP CreateStrokeStyle(const D2D1_STROKE_STYLE_PROPERTIES* strokeStyleProperties, const FLOAT* dashes,
                                   UINT dashesCount, ID2D1StrokeStyle** strokeStyle) override {
        return m_real->CreateStrokeStyle(strokeStyleProperties, dashes, dashesCount, strokeStyle);
    }
    STDMETHODIMP CreateDrawingStateBlock(const D2D1_DRAWING_STATE_DESCRIPTION* drawingStateDescription,
                                         IDWriteRenderingParams* textRenderingParams,
                                         ID2D1DrawingStateBlock** drawingStateBlock) override {
        return m_real->CreateDrawingStateBlock(drawingStateDescription, textRenderingParams, drawingStateBlock);
    }
    STDMETHODIMP CreateWicBitmapRenderTarget(IWICBitmap* target,
                                             const D2D1_RENDER_TARGET_PROPERTIES* renderTargetProperties,
                                             ID2D1RenderTarget** renderTarget) override {
        return m_real->CreateWicBitmapRenderTarget(target, renderTargetProperties, renderTarget);
    }
    STDMETHODIMP CreateHwndRenderTarget(const D2D1_RENDER_TARGET_PROPERTIES* renderTargetProperties,
                                        const D2D1_HWND_RENDER_TARGET_PROPERTIES* hwndRenderTargetProperties,
                                        ID2D1HwndRenderTarget** hwndRenderTarget) override {
        return m_real->CreateHwndRenderTarget(renderTargetProperties, hwndRenderTargetProperties, hwndRenderTarget);
    }
    STDMETHODIMP CreateDxgiSurfaceRenderTarget(IDXGISurface* dxgiSurface,
                                               const D2D1_RENDER_TARGET_PROPERTIES* renderTargetProperties,
                                               ID2D1RenderTarget** renderTarget) override {
        return m_real->CreateDxgiSurfaceRenderTarget(dxgiSurface, renderTargetProperties, renderTarget);
    }

private:
    explicit LossyFactory(Microsoft::WRL::ComPtr<ID2D1Factory> real) : m_real(std::move(real)) {}

    std::atomic<ULONG> m_references{1};
    Microsoft::WRL::ComPtr<ID2D1Factory> m_real;
    std::shared_ptr<DeviceLossState> m_state = std::make_shared<DeviceLossState>();
};

}  // namespace WidgetTesting
