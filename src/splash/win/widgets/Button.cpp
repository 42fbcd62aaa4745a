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
#include "splash/win/widgets/DeviceBitmap.h"
#include "splash/win/widgets/TextFormat.h"
#include "utils/Settings.h"

namespace Nolvar {

using Microsoft::WRL::ComPtr;

namespace {

std::atomic<unsigned> g_buttonClassCounter{0};

// One image layer of the style: its place and its image per visual state, unchecked and checked.
struct ImageLayer {
    LayerPlacement placement;
    std::map<int, DeviceBitmap> unchecked;
    std::map<int, DeviceBitmap> checked;

    bool empty() const { return unchecked.empty() && checked.empty(); }
    void SetTarget(ID2D1RenderTarget* target) {
        for (auto& [state, image] : unchecked) image.SetTarget(target);
        for (auto& [state, image] : checked) image.SetTarget(target);
    }
};

// A text format made for one font of the style's looks.
struct FontFormat {
    ButtonFont font;
    ComPtr<IDWriteTextFormat> format;
};

} // namespace

class Button::Impl final : public ISettingsObserver {
public:
    Impl(int id, HWND parent, UiText::Id textId, State initialState)
        : m_id(id), m_parent(parent), m_text(textId), m_state(initialState) {}

    ~Impl() override {
        if (m_observesSettings) Settings::Unsubscribe(this);
    }

    void create(ButtonStyleId::Id styleId, ID2D1Factory* factory, const WidgetRect& rect) {
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
        buildLayers();
        m_surface.Create(factory, m_window.get(), [this](ID2D1DCRenderTarget* target) { makeDeviceResources(target); });
        buildTextFormats();
        if (m_observesSettings) Settings::Subscribe(this);
    }

    void OnSettingChanged(Settings::ID id, const std::any&) override {
        if (id == Settings::ID::Locale) buildTextFormats();
    }

    void setBackground(const SharedBitmap& bitmap) { m_background.SetSource(bitmap); }

    void paint() {
        WidgetPaint paint(m_surface);
        if (!paint.drawing()) return;
        const D2D1_SIZE_F size = paint.target()->GetSize();
        const D2D1_RECT_F client = D2D1::RectF(0, 0, size.width, size.height);
        const bool isChecked = m_checked;
        const ButtonLook& look = currentLook(isChecked);
        const std::wstring text = currentText();
        const ComPtr<IDWriteTextFormat> format = formatForText(text, look);

        drawBackground(client, look);
        const bool showImages = !m_imagesHidden;
        const D2D1_RECT_F beside = showImages ? drawLayersBeforeText(client, isChecked) : client;
        const D2D1_RECT_F textRect = InsetForFont(beside, look.font);
        if (showImages) drawLayersBesideText(text, format.Get(), textRect, isChecked);
        drawText(text, format.Get(), textRect, look, client);
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
    std::atomic<State> m_state;
    std::atomic<bool> m_imagesHidden{false};
    std::atomic<bool> m_toggle{false};
    std::atomic<bool> m_checked{false};
    OwnedWindow m_window;
    WindowSurface m_surface;

private:
    ID2D1DCRenderTarget* drawingTarget() const { return m_surface.target(); }

    // The brush and the bitmaps belong to the render target's device: made with each target, released with it.
    void makeDeviceResources(ID2D1DCRenderTarget* target) {
        m_brush = CreateSolidBrush(target, D2D1::ColorF(0, 0, 0));
        m_background.SetTarget(target);
        for (ImageLayer& layer : m_layers) layer.SetTarget(target);
    }

    LRESULT handle(HWND window, UINT message, WPARAM wp, LPARAM lp) {
        switch (message) {
        case WM_PAINT:
            paint();
            return 0;
        case WM_MOUSEMOVE:
            if (m_state != Disabled) {
                const State wanted = wp == MK_LBUTTON ? Pressed : Hover;
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
        const State state = m_state;
        const StateLook* chosen = &m_style.states.front();
        for (const auto& look : m_style.states)
            if (look.state == state) chosen = &look;
        return isChecked ? chosen->checked : chosen->unchecked;
    }

    void trackMouseLeave() {
        TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, m_window.get(), HOVER_DEFAULT};
        TrackMouseEvent(&track);
    }

    // The layers with at least one image, their images decoded once; their bitmaps follow the render target.
    void buildLayers() {
        for (size_t i = 0; i < m_style.layers.size(); ++i) {
            ImageLayer layer;
            layer.placement = m_style.layers[i];
            for (const auto& look : m_style.states) {
                addLayerImage(layer.unchecked, look.state, look.unchecked, i);
                addLayerImage(layer.checked, look.state, look.checked, i);
            }
            if (!layer.empty()) m_layers.push_back(std::move(layer));
        }
    }

    void addLayerImage(std::map<int, DeviceBitmap>& images, int state, const ButtonLook& look, size_t layer) {
        if (layer >= look.images.size() || look.images[layer] == 0) return;
        const int resourceId = static_cast<int>(look.images[layer]);
        HRSRC resource = FindImageResource(resourceId);
        if (!resource) {
            LOG(WARNING) << "Button image resource " << resourceId << " is missing";
            return;
        }
        if (SharedBitmap image = m_images.LoadResource(resource)) images.emplace(state, DeviceBitmap(m_images, image));
    }

    // One text format per font of the style's looks (and the font before the first paint), in the current locale.
    void buildTextFormats() {
        std::vector<FontFormat> formats;
        auto add = [&](const ButtonFont& font) {
            for (const FontFormat& made : formats)
                if (made.font.matches(font)) return;
            formats.push_back({font, MakeTextFormat(m_writeFactory.Get(), font.size,
                                                    static_cast<DWRITE_TEXT_ALIGNMENT>(font.alignment),
                                                    DWRITE_PARAGRAPH_ALIGNMENT_CENTER,
                                                    static_cast<DWRITE_FONT_WEIGHT>(font.weight),
                                                    static_cast<DWRITE_FONT_STYLE>(font.style), font.family.c_str())});
        };
        add(m_font);
        for (const StateLook& look : m_style.states) {
            add(look.unchecked.font);
            add(look.checked.font);
        }
        std::lock_guard<std::mutex> lock(m_formatsMutex);
        m_formats = std::move(formats);
    }

    ComPtr<IDWriteTextFormat> formatOf(const ButtonFont& font) const {
        std::lock_guard<std::mutex> lock(m_formatsMutex);
        for (const FontFormat& made : m_formats)
            if (made.font.matches(font)) return made.format;
        return nullptr;
    }

    ID2D1Bitmap* layerImage(const ImageLayer& layer, bool isChecked) const {
        const auto& images = isChecked ? layer.checked : layer.unchecked;
        const auto found = images.find(m_state);
        return found == images.end() ? nullptr : found->second.get();
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
        ID2D1Bitmap* background = m_background.get();
        if (!background) return false;
        const D2D1_SIZE_F size = PixelSize(background);
        if (m_rect.left >= size.width / 2 || m_rect.top >= size.height / 2 || m_rect.right <= 0 || m_rect.bottom <= 0)
            return false;
        const D2D1_RECT_F source = D2D1::RectF(2 * m_rect.left, 2 * m_rect.top, 2 * m_rect.right, 2 * m_rect.bottom);
        drawingTarget()->DrawBitmap(background, client, 1.0f, D2D1_BITMAP_INTERPOLATION_MODE_NEAREST_NEIGHBOR, source);
        return true;
    }

    // The format of the look's font; an empty text keeps the font of the last look with a text (its layout
    // places the layers beside the text).
    ComPtr<IDWriteTextFormat> formatForText(const std::wstring& text, const ButtonLook& look) {
        if (!text.empty()) m_font = look.font;
        return formatOf(m_font);
    }

    void drawBackground(const D2D1_RECT_F& client, const ButtonLook& look) {
        if (m_style.drawKind == DrawKind::Pill) {
            drawPillBackground(client, look);
        } else {
            drawFlatBackground(client, look);
        }
    }

    // Draws the layers placed in the button before the text; returns the room left for the text beside the
    // layers aligned to a side.
    D2D1_RECT_F drawLayersBeforeText(const D2D1_RECT_F& client, bool isChecked) {
        D2D1_RECT_F textRect = client;
        for (const auto& layer : m_layers) {
            if (layer.placement.textRelative != 0) continue;
            ID2D1Bitmap* image = layerImage(layer, isChecked);
            drawImage(image, client, layer.placement);
            const float w = PixelSize(image).width;
            if (layer.placement.hAlign == Align::Start) textRect.left += w + layer.placement.offsetX;
            if (layer.placement.hAlign == Align::End) textRect.right -= w - layer.placement.offsetX;
        }
        return textRect;
    }

    static D2D1_RECT_F InsetForFont(D2D1_RECT_F rect, const ButtonFont& font) {
        rect.left += font.offsetX;
        rect.right -= font.offsetX;
        rect.top += font.offsetY;
        rect.bottom -= font.offsetY;
        return rect;
    }

    // Draws the layers placed beside the text as it is laid out in `textRect`.
    void drawLayersBesideText(const std::wstring& text, IDWriteTextFormat* format, const D2D1_RECT_F& textRect,
                              bool isChecked) {
        const ComPtr<IDWriteTextLayout> layout = layOutText(text, format, textRect);
        if (!layout) return;
        DWRITE_TEXT_METRICS metrics{};
        layout->GetMetrics(&metrics);
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

    ComPtr<IDWriteTextLayout> layOutText(const std::wstring& text, IDWriteTextFormat* format,
                                         const D2D1_RECT_F& rect) const {
        if (!m_writeFactory || !format) return nullptr;
        ComPtr<IDWriteTextLayout> layout;
        if (CallFailed(m_writeFactory->CreateTextLayout(text.c_str(), static_cast<UINT32>(text.size()), format,
                                                        std::max(0.0f, rect.right - rect.left),
                                                        std::max(0.0f, rect.bottom - rect.top), &layout),
                       "CreateTextLayout"))
            return nullptr;
        return layout;
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

    void drawText(const std::wstring& text, IDWriteTextFormat* format, D2D1_RECT_F rect, const ButtonLook& look,
                  const D2D1_RECT_F& client) {
        if (text.empty() || !format || !m_brush) return;
        if (m_style.drawKind == DrawKind::Pill && look.font.alignment == DWRITE_TEXT_ALIGNMENT_LEADING)
            rect.left += (client.bottom - client.top) / 2;
        m_brush->SetColor(look.textColour);
        drawingTarget()->DrawText(text.c_str(), static_cast<UINT32>(text.size()), format, rect, m_brush.Get());
    }

    ButtonStyle m_style;
    bool m_observesSettings = false;
    D2D1_RECT_F m_rect{};
    ImageLoader m_images;  // before the bitmaps it makes
    DeviceBitmap m_background{m_images};
    std::vector<ImageLayer> m_layers;
    ComPtr<ID2D1SolidColorBrush> m_brush;
    ComPtr<IDWriteFactory> m_writeFactory;
    mutable std::mutex m_formatsMutex;  // the locale may change on another thread than the painting one
    std::vector<FontFormat> m_formats;
    ButtonFont m_font;
};

std::unique_ptr<Button> Button::Create(int id, HWND parent, UiText::Id textId, ButtonStyleId::Id styleId,
                                       ID2D1Factory* factory, const WidgetRect& rect, State initialState) {
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
void Button::SetState(State state) {
    m_impl->m_state = state;
    RepaintWindow(m_impl->m_window.get());
}
void Button::SetText(const std::wstring& text) { m_impl->setText(text); }
Button::State Button::state() const { return m_impl->m_state; }
bool Button::checked() const { return m_impl->m_checked; }
HWND Button::window() const { return m_impl->m_window.get(); }

} // namespace Nolvar
