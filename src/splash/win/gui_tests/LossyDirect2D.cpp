#include "splash/win/gui_tests/LossyDirect2D.h"

namespace WidgetTesting {

using Microsoft::WRL::ComPtr;

namespace {

// Forwards everything to the real target; EndDraw ends the real drawing and then answers as a lost device would
// once the factory's device was lost after this target was made.
class LossyTarget final : public ID2D1DCRenderTarget {
public:
    LossyTarget(ComPtr<ID2D1DCRenderTarget> real, ID2D1Factory* factory, std::shared_ptr<DeviceLossState> state)
        : m_real(std::move(real)), m_factory(factory), m_state(std::move(state)), m_generation(m_state->generation) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        if (IsEqualIID(riid, __uuidof(IUnknown)) || IsEqualIID(riid, __uuidof(ID2D1Resource)) ||
            IsEqualIID(riid, __uuidof(ID2D1RenderTarget)) || IsEqualIID(riid, __uuidof(ID2D1DCRenderTarget))) {
            *object = static_cast<ID2D1DCRenderTarget*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_references; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = --m_references;
        if (left == 0) delete this;
        return left;
    }

    STDMETHODIMP_(void) GetFactory(ID2D1Factory** factory) const override {
        *factory = m_factory.Get();
        m_factory->AddRef();
    }
    STDMETHODIMP BindDC(const HDC hDC, const RECT* pSubRect) override { return m_real->BindDC(hDC, pSubRect); }

    STDMETHODIMP EndDraw(D2D1_TAG* tag1, D2D1_TAG* tag2) override {
        const HRESULT hr = m_real->EndDraw(tag1, tag2);
        if (m_generation == m_state->generation) return hr;
        ++m_state->lossesReported;
        return D2DERR_RECREATE_TARGET;
    }

#ifndef WIDL_EXPLICIT_AGGREGATE_RETURNS
    STDMETHODIMP_(D2D1_PIXEL_FORMAT) GetPixelFormat() const override { return m_real->GetPixelFormat(); }
    STDMETHODIMP_(D2D1_SIZE_F) GetSize() const override { return m_real->GetSize(); }
    STDMETHODIMP_(D2D1_SIZE_U) GetPixelSize() const override { return m_real->GetPixelSize(); }
#else
    D2D1_PIXEL_FORMAT* STDMETHODCALLTYPE GetPixelFormat(D2D1_PIXEL_FORMAT* out) const override {
        return m_real->GetPixelFormat(out);
    }
    D2D1_SIZE_F* STDMETHODCALLTYPE GetSize(D2D1_SIZE_F* out) const override { return m_real->GetSize(out); }
    D2D1_SIZE_U* STDMETHODCALLTYPE GetPixelSize(D2D1_SIZE_U* out) const override { return m_real->GetPixelSize(out); }
#endif

    STDMETHODIMP CreateBitmap(D2D1_SIZE_U size, const void* srcData, UINT32 pitch,
                              const D2D1_BITMAP_PROPERTIES* bitmapProperties, ID2D1Bitmap** bitmap) override {
        return m_real->CreateBitmap(size, srcData, pitch, bitmapProperties, bitmap);
    }
    STDMETHODIMP CreateBitmapFromWicBitmap(IWICBitmapSource* wicBitmapSource,
                                           const D2D1_BITMAP_PROPERTIES* bitmapProperties,
                                           ID2D1Bitmap** bitmap) override {
        return m_real->CreateBitmapFromWicBitmap(wicBitmapSource, bitmapProperties, bitmap);
    }
    STDMETHODIMP CreateSharedBitmap(REFIID riid, void* data, const D2D1_BITMAP_PROPERTIES* bitmapProperties,
                                    ID2D1Bitmap** bitmap) override {
        return m_real->CreateSharedBitmap(riid, data, bitmapProperties, bitmap);
    }
    STDMETHODIMP CreateBitmapBrush(ID2D1Bitmap* bitmap, const D2D1_BITMAP_BRUSH_PROPERTIES* bitmapBrushProperties,
                                   const D2D1_BRUSH_PROPERTIES* brushProperties,
                                   ID2D1BitmapBrush** bitmapBrush) override {
        return m_real->CreateBitmapBrush(bitmap, bitmapBrushProperties, brushProperties, bitmapBrush);
    }
    STDMETHODIMP CreateSolidColorBrush(const D2D1_COLOR_F* color, const D2D1_BRUSH_PROPERTIES* brushProperties,
                                       ID2D1SolidColorBrush** solidColorBrush) override {
        return m_real->CreateSolidColorBrush(color, brushProperties, solidColorBrush);
    }
    STDMETHODIMP CreateGradientStopCollection(const D2D1_GRADIENT_STOP* gradientStops, UINT gradientStopsCount,
                                              D2D1_GAMMA colorInterpolationGamma, D2D1_EXTEND_MODE extendMode,
                                              ID2D1GradientStopCollection** gradientStopCollection) override {
        return m_real->CreateGradientStopCollection(gradientStops, gradientStopsCount, colorInterpolationGamma,
                                                    extendMode, gradientStopCollection);
    }
    STDMETHODIMP CreateLinearGradientBrush(const D2D1_LINEAR_GRADIENT_BRUSH_PROPERTIES* linearGradientBrushProperties,
                                           const D2D1_BRUSH_PROPERTIES* brushProperties,
                                           ID2D1GradientStopCollection* gradientStopCollection,
                                           ID2D1LinearGradientBrush** linearGradientBrush) override {
        return m_real->CreateLinearGradientBrush(linearGradientBrushProperties, brushProperties, gradientStopCollection,
                                                 linearGradientBrush);
    }
    STDMETHODIMP CreateRadialGradientBrush(const D2D1_RADIAL_GRADIENT_BRUSH_PROPERTIES* radialGradientBrushProperties,
                                           const D2D1_BRUSH_PROPERTIES* brushProperties,
                                           ID2D1GradientStopCollection* gradientStopCollection,
                                           ID2D1RadialGradientBrush** radialGradientBrush) override {
        return m_real->CreateRadialGradientBrush(radialGradientBrushProperties, brushProperties, gradientStopCollection,
                                                 radialGradientBrush);
    }
    STDMETHODIMP CreateCompatibleRenderTarget(const D2D1_SIZE_F* desiredSize, const D2D1_SIZE_U* desiredPixelSize,
                                              const D2D1_PIXEL_FORMAT* desiredFormat,
                                              D2D1_COMPATIBLE_RENDER_TARGET_OPTIONS options,
                                              ID2D1BitmapRenderTarget** bitmapRenderTarget) override {
        return m_real->CreateCompatibleRenderTarget(desiredSize, desiredPixelSize, desiredFormat, options,
                                                    bitmapRenderTarget);
    }
    STDMETHODIMP CreateLayer(const D2D1_SIZE_F* size, ID2D1Layer** layer) override {
        return m_real->CreateLayer(size, layer);
    }
    STDMETHODIMP CreateMesh(ID2D1Mesh** mesh) override { return m_real->CreateMesh(mesh); }
    STDMETHODIMP_(void)
    DrawLine(D2D1_POINT_2F point0, D2D1_POINT_2F point1, ID2D1Brush* brush, FLOAT strokeWidth,
             ID2D1StrokeStyle* strokeStyle) override {
        m_real->DrawLine(point0, point1, brush, strokeWidth, strokeStyle);
    }
    STDMETHODIMP_(void)
    DrawRectangle(const D2D1_RECT_F* rect, ID2D1Brush* brush, FLOAT strokeWidth,
                  ID2D1StrokeStyle* strokeStyle) override {
        m_real->DrawRectangle(rect, brush, strokeWidth, strokeStyle);
    }
    STDMETHODIMP_(void) FillRectangle(const D2D1_RECT_F* rect, ID2D1Brush* brush) override {
        m_real->FillRectangle(rect, brush);
    }
    STDMETHODIMP_(void)
    DrawRoundedRectangle(const D2D1_ROUNDED_RECT* roundedRect, ID2D1Brush* brush, FLOAT strokeWidth,
                         ID2D1StrokeStyle* strokeStyle) override {
        m_real->DrawRoundedRectangle(roundedRect, brush, strokeWidth, strokeStyle);
    }
    STDMETHODIMP_(void) FillRoundedRectangle(const D2D1_ROUNDED_RECT* roundedRect, ID2D1Brush* brush) override {
        m_real->FillRoundedRectangle(roundedRect, brush);
    }
    STDMETHODIMP_(void)
    DrawEllipse(const D2D1_ELLIPSE* ellipse, ID2D1Brush* brush, FLOAT strokeWidth,
                ID2D1StrokeStyle* strokeStyle) override {
        m_real->DrawEllipse(ellipse, brush, strokeWidth, strokeStyle);
    }
    STDMETHODIMP_(void) FillEllipse(const D2D1_ELLIPSE* ellipse, ID2D1Brush* brush) override {
        m_real->FillEllipse(ellipse, brush);
    }
    STDMETHODIMP_(void)
    DrawGeometry(ID2D1Geometry* geometry, ID2D1Brush* brush, FLOAT strokeWidth,
                 ID2D1StrokeStyle* strokeStyle) override {
        m_real->DrawGeometry(geometry, brush, strokeWidth, strokeStyle);
    }
    STDMETHODIMP_(void) FillGeometry(ID2D1Geometry* geometry, ID2D1Brush* brush, ID2D1Brush* opacityBrush) override {
        m_real->FillGeometry(geometry, brush, opacityBrush);
    }
    STDMETHODIMP_(void) FillMesh(ID2D1Mesh* mesh, ID2D1Brush* brush) override { m_real->FillMesh(mesh, brush); }
    STDMETHODIMP_(void)
    FillOpacityMask(ID2D1Bitmap* opacityMask, ID2D1Brush* brush, D2D1_OPACITY_MASK_CONTENT content,
                    const D2D1_RECT_F* destinationRectangle, const D2D1_RECT_F* sourceRectangle) override {
        m_real->FillOpacityMask(opacityMask, brush, content, destinationRectangle, sourceRectangle);
    }
    STDMETHODIMP_(void)
    DrawBitmap(ID2D1Bitmap* bitmap, const D2D1_RECT_F* destinationRectangle, FLOAT opacity,
               D2D1_BITMAP_INTERPOLATION_MODE interpolationMode, const D2D1_RECT_F* sourceRectangle) override {
        m_real->DrawBitmap(bitmap, destinationRectangle, opacity, interpolationMode, sourceRectangle);
    }
    STDMETHODIMP_(void)
    DrawText(const WCHAR* string, UINT stringLength, IDWriteTextFormat* textFormat, const D2D1_RECT_F* layoutRect,
             ID2D1Brush* defaultForegroundBrush, D2D1_DRAW_TEXT_OPTIONS options,
             DWRITE_MEASURING_MODE measuringMode) override {
        m_real->DrawText(string, stringLength, textFormat, layoutRect, defaultForegroundBrush, options, measuringMode);
    }
    STDMETHODIMP_(void)
    DrawTextLayout(D2D1_POINT_2F origin, IDWriteTextLayout* textLayout, ID2D1Brush* defaultForegroundBrush,
                   D2D1_DRAW_TEXT_OPTIONS options) override {
        m_real->DrawTextLayout(origin, textLayout, defaultForegroundBrush, options);
    }
    STDMETHODIMP_(void)
    DrawGlyphRun(D2D1_POINT_2F baselineOrigin, CONST DWRITE_GLYPH_RUN* glyphRun, ID2D1Brush* foregroundBrush,
                 DWRITE_MEASURING_MODE measuringMode) override {
        m_real->DrawGlyphRun(baselineOrigin, glyphRun, foregroundBrush, measuringMode);
    }
    STDMETHODIMP_(void) SetTransform(const D2D1_MATRIX_3X2_F* transform) override { m_real->SetTransform(transform); }
    STDMETHODIMP_(void) GetTransform(D2D1_MATRIX_3X2_F* transform) const override { m_real->GetTransform(transform); }
    STDMETHODIMP_(void) SetAntialiasMode(D2D1_ANTIALIAS_MODE antialiasMode) override {
        m_real->SetAntialiasMode(antialiasMode);
    }
    STDMETHODIMP_(D2D1_ANTIALIAS_MODE) GetAntialiasMode() const override { return m_real->GetAntialiasMode(); }
    STDMETHODIMP_(void) SetTextAntialiasMode(D2D1_TEXT_ANTIALIAS_MODE textAntialiasMode) override {
        m_real->SetTextAntialiasMode(textAntialiasMode);
    }
    STDMETHODIMP_(D2D1_TEXT_ANTIALIAS_MODE) GetTextAntialiasMode() const override {
        return m_real->GetTextAntialiasMode();
    }
    STDMETHODIMP_(void) SetTextRenderingParams(IDWriteRenderingParams* textRenderingParams) override {
        m_real->SetTextRenderingParams(textRenderingParams);
    }
    STDMETHODIMP_(void) GetTextRenderingParams(IDWriteRenderingParams** textRenderingParams) const override {
        m_real->GetTextRenderingParams(textRenderingParams);
    }
    STDMETHODIMP_(void) SetTags(D2D1_TAG tag1, D2D1_TAG tag2) override { m_real->SetTags(tag1, tag2); }
    STDMETHODIMP_(void) GetTags(D2D1_TAG* tag1, D2D1_TAG* tag2) const override { m_real->GetTags(tag1, tag2); }
    STDMETHODIMP_(void) PushLayer(const D2D1_LAYER_PARAMETERS* layerParameters, ID2D1Layer* layer) override {
        m_real->PushLayer(layerParameters, layer);
    }
    STDMETHODIMP_(void) PopLayer() override { m_real->PopLayer(); }
    STDMETHODIMP Flush(D2D1_TAG* tag1, D2D1_TAG* tag2) override { return m_real->Flush(tag1, tag2); }
    STDMETHODIMP_(void) SaveDrawingState(ID2D1DrawingStateBlock* drawingStateBlock) const override {
        m_real->SaveDrawingState(drawingStateBlock);
    }
    STDMETHODIMP_(void) RestoreDrawingState(ID2D1DrawingStateBlock* drawingStateBlock) override {
        m_real->RestoreDrawingState(drawingStateBlock);
    }
    STDMETHODIMP_(void) PushAxisAlignedClip(const D2D1_RECT_F* clipRect, D2D1_ANTIALIAS_MODE antialiasMode) override {
        m_real->PushAxisAlignedClip(clipRect, antialiasMode);
    }
    STDMETHODIMP_(void) PopAxisAlignedClip() override { m_real->PopAxisAlignedClip(); }
    STDMETHODIMP_(void) Clear(const D2D1_COLOR_F* clearColor) override { m_real->Clear(clearColor); }
    STDMETHODIMP_(void) BeginDraw() override { m_real->BeginDraw(); }
    STDMETHODIMP_(void) SetDpi(FLOAT dpiX, FLOAT dpiY) override { m_real->SetDpi(dpiX, dpiY); }
    STDMETHODIMP_(void) GetDpi(FLOAT* dpiX, FLOAT* dpiY) const override { m_real->GetDpi(dpiX, dpiY); }
    STDMETHODIMP_(UINT32) GetMaximumBitmapSize() const override { return m_real->GetMaximumBitmapSize(); }
    STDMETHODIMP_(BOOL) IsSupported(const D2D1_RENDER_TARGET_PROPERTIES* renderTargetProperties) const override {
        return m_real->IsSupported(renderTargetProperties);
    }

private:
    std::atomic<ULONG> m_references{1};
    ComPtr<ID2D1DCRenderTarget> m_real;
    ComPtr<ID2D1Factory> m_factory;
    std::shared_ptr<DeviceLossState> m_state;
    const int m_generation;
};

}  // namespace

ComPtr<LossyFactory> LossyFactory::Create() {
    ComPtr<ID2D1Factory> real;
    if (FAILED(D2D1CreateFactory(D2D1_FACTORY_TYPE_MULTI_THREADED, real.GetAddressOf()))) return nullptr;
    ComPtr<LossyFactory> factory;
    factory.Attach(new LossyFactory(std::move(real)));
    return factory;
}

STDMETHODIMP LossyFactory::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    if (IsEqualIID(riid, __uuidof(IUnknown)) || IsEqualIID(riid, __uuidof(ID2D1Factory))) {
        *object = static_cast<ID2D1Factory*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) LossyFactory::Release() {
    const ULONG left = --m_references;
    if (left == 0) delete this;
    return left;
}

STDMETHODIMP LossyFactory::CreateDCRenderTarget(const D2D1_RENDER_TARGET_PROPERTIES* renderTargetProperties,
                                                ID2D1DCRenderTarget** dcRenderTarget) {
    *dcRenderTarget = nullptr;
    if (m_state->refusalsLeft > 0) {
        --m_state->refusalsLeft;
        ++m_state->targetsRefused;
        return E_OUTOFMEMORY;
    }
    ComPtr<ID2D1DCRenderTarget> real;
    const HRESULT hr = m_real->CreateDCRenderTarget(renderTargetProperties, &real);
    if (FAILED(hr)) return hr;
    ++m_state->targetsMade;
    *dcRenderTarget = new LossyTarget(std::move(real), this, m_state);
    return S_OK;
}

}  // namespace WidgetTesting
