#include "splash/win/widgets/Button.h"

#include <dwrite.h>
#include <wrl/client.h>

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <stdexcept>
#include <vector>

#include <glog/logging.h>

#include "splash/win/CallFailed.h"
#include "splash/win/ImageLoader.h"
#include "splash/win/SplashMessage.h"
#include "splash/win/widgets/ButtonStyles.h"
#include "splash/win/widgets/TextFormat.h"
#include "utils/Settings.h"

namespace Nolvar {

using Microsoft::WRL::ComPtr;

namespace {

std::atomic<unsigned> g_buttonClassCounter{0};

struct ImageLayer {
    LayerPlacement placement;
    std::map<int, ComPtr<ID2D1Bitmap>> unchecked;
    std::map<int, ComPtr<ID2D1Bitmap>> checked;
};

} // namespace

class Button::Impl final : public ISettingsObserver {
public:
    Impl(int id, HWND parent, int textId, int initialState) : m_id(id), m_parent(parent), m_text(textId), m_state(initialState) {}

    ~Impl() override {
        if (m_observesSettings) Settings::Unsubscribe(this);
    }

    void create(int styleId, ID2D1Factory* factory, const WidgetRect& rect) {
        const ButtonStyle* style = FindButtonStyle(styleId);
        if (!style) throw std::runtime_error("Unknown button style " + std::to_string(styleId));
        const std::wstring className = L"button_" + std::to_wstring(++g_buttonClassCounter);
        m_window.Create(m_parent, className, rect, WS_CHILD | WS_VISIBLE, m_id, "Button window procedure",
                        std::bind_front(&Impl::handle, this));
        m_style = *style;
        m_observesSettings = styleId != ButtonStyleId::Browse;
        m_rect = D2D1::RectF(static_cast<float>(rect.left), static_cast<float>(rect.top), static_cast<float>(rect.right),
                             static_cast<float>(rect.bottom));
        m_writeFactory = SharedDirectWriteFactory();
        trackMouseLeave();
        m_surface.Create(factory, m_window.get(), [this](ID2D1DCRenderTarget* target) { makeDeviceResources(target); });
        buildTextFormat();
        if (m_observesSettings) Settings::Subscribe(this);
    }

    void OnSettingChanged(Settings::ID id, const std::any&) override {
        if (id == Settings::ID::Locale) buildTextFormat();
    }

    void setBackground(const SharedBitmap& bitmap) {
        if (!m_surface.target() || bitmap == m_backgroundSource) return;
        m_backgroundSource = bitmap;
        m_background = m_images.ToDirect2D(bitmap, m_surface.target());
    }

    void paint() {
        WidgetPaint paint(m_surface);
        if (!paint.drawing()) return;
        ID2D1DCRenderTarget* target = paint.target();
        const D2D1_SIZE_F size = target->GetSize();
        const D2D1_RECT_F client = D2D1::RectF(0, 0, size.width, size.height);
        const bool isChecked = m_checked;
        const ButtonLook& look = currentLook(isChecked);

        const std::wstring text = currentText();
        if (!text.empty() && !m_font.matches(look.font)) {
            m_font = look.font;
            buildTextFormat();
        }

        if (m_style.drawKind == DrawKind::Pill) {
            drawPillBackground(client, look);
        } else {
            drawFlatBackground(client, look);
        }

        D2D1_RECT_F textRect = client;
        const bool showImages = !m_imagesHidden;
        if (showImages) {
            for (const auto& layer : m_layers) {
                if (layer.placement.textRelative != 0) continue;
                ID2D1Bitmap* image = layerImage(layer, isChecked);
                drawImage(image, client, layer.placement);
                const float w = PixelSize(image).width;
                if (layer.placement.hAlign == Align::Start) textRect.left += w + layer.placement.offsetX;
                if (layer.placement.hAlign == Align::End) textRect.right -= w - layer.placement.offsetX;
            }
        }
        textRect.left += look.font.offsetX;
        textRect.right -= look.font.offsetX;
        textRect.top += look.font.offsetY;
        textRect.bottom -= look.font.offsetY;

        m_layout.Reset();
        if (m_writeFactory && m_format) {
            CallFailed(m_writeFactory->CreateTextLayout(text.c_str(), static_cast<UINT32>(text.size()), m_format.Get(),
                                                        std::max(0.0f, textRect.right - textRect.left),
                                                        std::max(0.0f, textRect.bottom - textRect.top), &m_layout),
                       "CreateTextLayout");
        }
        if (showImages && m_layout) {
            DWRITE_TEXT_METRICS metrics{};
            m_layout->GetMetrics(&metrics);
            for (const auto& layer : m_layers) {
                if (layer.placement.textRelative == 0) continue;
                ID2D1Bitmap* image = layerImage(layer, isChecked);
                if (!image) continue;
                const float w = PixelSize(image).width;
                LayerPlacement placement = layer.placement;
                if (placement.hAlign == Align::Start) placement.offsetX += metrics.left - w / 2;
                if (placement.hAlign == Align::End)
                    placement.offsetX -= (textRect.right - textRect.left) - metrics.left - metrics.width - w;
                drawImage(image, textRect, placement);
            }
        }
        drawText(text, textRect, look, client);
    }

    std::wstring currentText() const {
        std::lock_guard<std::mutex> lock(m_textMutex);
        return m_text.text();
    }
    void setText(const std::wstring& text) {
        std::lock_guard<std::mutex> lock(m_textMutex);
        m_text.SetOverrideText(text);
    }

    int m_id;
    HWND m_parent;
    mutable std::mutex m_textMutex;  // the text may be set from another thread than the painting one
    TextSource m_text;
    std::atomic<int> m_state;
    std::atomic<bool> m_imagesHidden{false};
    std::atomic<bool> m_toggle{false};
    std::atomic<bool> m_checked{false};
    WidgetWindow m_window;
    WindowSurface m_surface;

private:
    ID2D1DCRenderTarget* drawingTarget() const { return m_surface.target(); }

    // Brushes and bitmaps belong to the render target's device: made with each target, released with it.
    void makeDeviceResources(ID2D1DCRenderTarget* target) {
        m_brush = target ? CreateSolidBrush(target, D2D1::ColorF(0, 0, 0)) : nullptr;
        m_background = target && m_backgroundSource ? m_images.ToDirect2D(m_backgroundSource, target) : nullptr;
        m_layers.clear();
        if (target) buildLayers(target);
    }

    LRESULT handle(HWND window, UINT message, WPARAM wp, LPARAM lp) {
        switch (message) {
        case WM_PAINT:
            paint();
            return 0;
        case WM_MOUSEMOVE:
            if (m_state != Disabled) {
                const int wanted = wp == MK_LBUTTON ? Pressed : Hover;
                if (m_state != wanted) {
                    m_state = wanted;
                    RepaintWindow(window);
                    trackMouseLeave();
                }
            }
            return DefWindowProcW(window, message, wp, lp);
        case WM_LBUTTONDOWN: {
            bool toggled = false;
            bool nowChecked = false;
            if (m_toggle) {
                nowChecked = !m_checked;
                m_checked = nowChecked;
                toggled = true;
            }
            if (m_state != Disabled) m_state = Pressed;
            RepaintWindow(window);
            if (toggled) {
                // The parent may destroy this button: nothing of it is touched after the message.
                SendMessageW(m_parent, ToMessage(SplashMessage::ToggleChanged),
                             PackToggleChanged(static_cast<WORD>(m_id), nowChecked), 0);
            }
            return 0;
        }
        case WM_LBUTTONUP: {
            const HWND parent = m_parent;
            const WPARAM id = PackWidgetId(static_cast<WORD>(m_id));
            if (m_state == Disabled) {
                RepaintWindow(window);
                SendMessageW(parent, ToMessage(SplashMessage::DisabledButtonClicked), id, 0);
            } else {
                m_state = Hover;
                RepaintWindow(window);
                SendMessageW(parent, ToMessage(SplashMessage::ButtonClicked), id, 0);
            }
            return 0;
        }
        case WM_MOUSELEAVE:
            if (m_state != Disabled) m_state = Normal;
            RepaintWindow(window);
            return 0;
        default:
            return DefWindowProcW(window, message, wp, lp);
        }
    }

    const ButtonLook& currentLook(bool isChecked) const {
        const int state = m_state;
        const StateLook* chosen = &m_style.states.front();
        for (const auto& look : m_style.states)
            if (look.state == state) chosen = &look;
        return isChecked ? chosen->checked : chosen->unchecked;
    }

    void trackMouseLeave() {
        TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, m_window.get(), HOVER_DEFAULT};
        TrackMouseEvent(&track);
    }

    void buildLayers(ID2D1RenderTarget* target) {
        for (size_t i = 0; i < m_style.layers.size(); ++i) {
            ImageLayer layer;
            layer.placement = m_style.layers[i];
            bool any = false;
            for (const auto& look : m_style.states) {
                if (auto image = loadLayerImage(look.unchecked, i, target)) {
                    layer.unchecked[look.state] = image;
                    any = true;
                }
                if (auto image = loadLayerImage(look.checked, i, target)) {
                    layer.checked[look.state] = image;
                    any = true;
                }
            }
            if (any) m_layers.push_back(std::move(layer));
        }
    }

    ComPtr<ID2D1Bitmap> loadLayerImage(const ButtonLook& look, size_t layer, ID2D1RenderTarget* target) {
        if (layer >= look.images.size() || look.images[layer] == 0) return nullptr;
        const int resourceId = static_cast<int>(look.images[layer]);
        HRSRC resource = FindImageResource(resourceId);
        if (!resource) {
            LOG(WARNING) << "Button image resource " << resourceId << " is missing";
            return nullptr;
        }
        return m_images.ResourceToDirect2D(resource, target);
    }

    void buildTextFormat() {
        m_format = MakeTextFormat(m_writeFactory.Get(), m_font.size,
                                  static_cast<DWRITE_TEXT_ALIGNMENT>(m_font.alignment),
                                  DWRITE_PARAGRAPH_ALIGNMENT_CENTER, static_cast<DWRITE_FONT_WEIGHT>(m_font.weight),
                                  static_cast<DWRITE_FONT_STYLE>(m_font.style), m_font.family.c_str());
    }

    ID2D1Bitmap* layerImage(const ImageLayer& layer, bool isChecked) const {
        const auto& images = isChecked ? layer.checked : layer.unchecked;
        const auto found = images.find(m_state);
        return found == images.end() ? nullptr : found->second.Get();
    }

    void drawImage(ID2D1Bitmap* image, const D2D1_RECT_F& area, const LayerPlacement& placement) {
        if (!image) return;
        const D2D1_SIZE_F full = PixelSize(image);
        const D2D1_SIZE_F drawn = D2D1::SizeF(full.width / 4, full.height / 4);
        const D2D1_RECT_F placed = PlaceRect(area, drawn, placement.hAlign, placement.vAlign,
                                             D2D1::Point2F(placement.offsetX, placement.offsetY), 0, 0);
        drawingTarget()->DrawBitmap(image, placed, 1.0f, D2D1_BITMAP_INTERPOLATION_MODE_NEAREST_NEIGHBOR);
    }

    // The part of the window's background under the button: the image is shown at half its size.
    bool drawBackgroundPart(const D2D1_RECT_F& client) {
        if (!m_background) return false;
        const D2D1_SIZE_F size = PixelSize(m_background.Get());
        if (m_rect.left >= size.width / 2 || m_rect.top >= size.height / 2 || m_rect.right <= 0 || m_rect.bottom <= 0)
            return false;
        const D2D1_RECT_F source = D2D1::RectF(2 * m_rect.left, 2 * m_rect.top, 2 * m_rect.right, 2 * m_rect.bottom);
        drawingTarget()->DrawBitmap(m_background.Get(), client, 1.0f, D2D1_BITMAP_INTERPOLATION_MODE_NEAREST_NEIGHBOR, source);
        return true;
    }

    void drawFlatBackground(const D2D1_RECT_F& client, const ButtonLook& look) {
        drawingTarget()->Clear(look.fillColour);
        drawBackgroundPart(client);
        if (look.border && ColoursDiffer(look.borderColour, look.fillColour) && m_brush) {
            m_brush->SetColor(look.borderColour);
            // The stroke is centred on its line: half a DIP in, so the whole outline lies inside the window.
            const D2D1_RECT_F outline = D2D1::RectF(client.left + 0.5f, client.top + 0.5f, client.right - 0.5f,
                                                    client.bottom - 0.5f);
            drawingTarget()->DrawRectangle(outline, m_brush.Get(), 1.0f);
        }
    }

    void drawPillBackground(const D2D1_RECT_F& client, const ButtonLook& look) {
        if (!drawBackgroundPart(client)) drawingTarget()->Clear(D2D1::ColorF(1, 1, 1, 1));
        if (!m_brush) return;
        const float radius = (client.bottom - client.top) / 2;
        m_brush->SetColor(look.fillColour);
        drawingTarget()->FillRoundedRectangle(D2D1::RoundedRect(client, radius, radius), m_brush.Get());
        if (look.border && ColoursDiffer(look.borderColour, look.fillColour)) {
            const D2D1_RECT_F inner = D2D1::RectF(client.left + 1, client.top + 1, client.right - 1, client.bottom - 1);
            m_brush->SetColor(look.borderColour);
            drawingTarget()->DrawRoundedRectangle(D2D1::RoundedRect(inner, radius - 1, radius - 1), m_brush.Get(), 1.2f);
        }
    }

    void drawText(const std::wstring& text, D2D1_RECT_F rect, const ButtonLook& look, const D2D1_RECT_F& client) {
        if (text.empty() || !m_format || !m_brush) return;
        if (m_style.drawKind == DrawKind::Pill && look.font.alignment == DWRITE_TEXT_ALIGNMENT_LEADING)
            rect.left += (client.bottom - client.top) / 2;
        m_brush->SetColor(look.textColour);
        drawingTarget()->DrawText(text.c_str(), static_cast<UINT32>(text.size()), m_format.Get(), rect, m_brush.Get());
    }

    ButtonStyle m_style;
    bool m_observesSettings = false;
    D2D1_RECT_F m_rect{};
    ImageLoader m_images;
    SharedBitmap m_backgroundSource;
    ComPtr<ID2D1Bitmap> m_background;
    ComPtr<IDWriteFactory> m_writeFactory;
    ComPtr<IDWriteTextFormat> m_format;
    ComPtr<IDWriteTextLayout> m_layout;
    ComPtr<ID2D1SolidColorBrush> m_brush;
    std::vector<ImageLayer> m_layers;
    ButtonFont m_font;
};

std::unique_ptr<Button> Button::Create(int id, HWND parent, int textId, int styleId, ID2D1Factory* factory,
                                       const WidgetRect& rect, int initialState) {
    auto impl = std::make_unique<Impl>(id, parent, textId, initialState);
    impl->create(styleId, factory, rect);
    return std::unique_ptr<Button>(new Button(std::move(impl)));
}

Button::Button(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
Button::~Button() = default;

unsigned short Button::id() const { return static_cast<unsigned short>(m_impl->m_id & 0xFFFF); }
void Button::setBackground(const SharedBitmap& bitmap) { m_impl->setBackground(bitmap); }
void Button::redraw() { RepaintWindow(m_impl->m_window.get()); }
ID2D1RenderTarget* Button::renderTarget() const { return m_impl->m_surface.target(); }
void Button::SetToggle(bool toggle) { m_impl->m_toggle = toggle; }
void Button::SetChecked(bool checked) { m_impl->m_checked = checked; }
void Button::SetImagesHidden(bool hidden) { m_impl->m_imagesHidden = hidden; }
void Button::SetState(int state) {
    m_impl->m_state = state;
    RepaintWindow(m_impl->m_window.get());
}
void Button::SetText(const std::wstring& text) { m_impl->setText(text); }
int Button::state() const { return m_impl->m_state; }
bool Button::checked() const { return m_impl->m_checked; }
HWND Button::window() const { return m_impl->m_window.get(); }

} // namespace Nolvar
