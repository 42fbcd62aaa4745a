#include "splash/win/widgets/Label.h"

#include <dwrite.h>
#include <wrl/client.h>

#include <mutex>

#include "splash/win/CallFailed.h"
#include "splash/win/ImageLoader.h"
#include "splash/win/widgets/DeviceBitmap.h"
#include "splash/win/widgets/TextFormat.h"
#include "splash/win/widgets/WidgetDrawing.h"
#include "utils/Settings.h"

namespace Nolvar {

using Microsoft::WRL::ComPtr;

class Label::Impl final : public ISettingsObserver {
public:
    Impl(int id, UiText::Id textId, POINT position, ID2D1RenderTarget* target, const std::wstring& placeholder, float inset,
         float raise)
        : m_id(id), m_text(textId, placeholder), m_position(D2D1::Point2F(static_cast<float>(position.x),
                                                                           static_cast<float>(position.y))),
          m_inset(inset), m_raise(raise) {
        m_writeFactory = SharedDirectWriteFactory();
        makeFormatLocked();  // no other thread sees the label yet
        setTarget(target);
        Settings::Subscribe(this);
    }

    ~Impl() override { Settings::Unsubscribe(this); }

    void OnSettingChanged(Settings::ID id, const std::any&) override {
        if (id == Settings::ID::Locale) change([] {}, Remake::Format);
    }

    void paint() {
        if (!m_target || !m_brush) return;
        std::lock_guard<std::mutex> lock(m_mutex);
        const D2D1_SIZE_F size = m_target->GetSize();
        // A paint-DC target knows its size only once bound: lay out again when it differs from the last layout's.
        if (!m_layout || size.width != m_layoutSize.width || size.height != m_layoutSize.height) layOutLocked();
        if (!m_layout || !m_format) return;
        DWRITE_TEXT_METRICS metrics{};
        m_layout->GetMetrics(&metrics);
        const float inset = 2 * m_inset + metrics.width > size.width ? m_inset : 0.0f;
        const D2D1_RECT_F rect = PlaceRect(D2D1::RectF(0, 0, size.width, size.height),
                                           D2D1::SizeF(metrics.width, metrics.height), m_alignment, Align::Start,
                                           m_position, inset, m_raise);
        if (ID2D1Bitmap* background = m_background.get()) {
            // The background is shown at half its pixel size: the part under the text is twice its rectangle.
            const D2D1_SIZE_F bitmap = PixelSize(background);
            if (rect.right >= 0 && rect.bottom >= 0 && 2 * rect.left <= bitmap.width && 2 * rect.top <= bitmap.height)
                m_target->DrawBitmap(background, rect, 1.0f, D2D1_BITMAP_INTERPOLATION_MODE_NEAREST_NEIGHBOR,
                                     D2D1::RectF(2 * rect.left, 2 * rect.top, 2 * rect.right, 2 * rect.bottom));
        }
        const std::wstring text = m_text.text();
        m_target->DrawText(text.c_str(), static_cast<UINT32>(text.size()), m_format.Get(), rect, m_brush.Get());
    }

    // The brush and the background belong to the target's device: made in its owner's device-resources step.
    void setTarget(ID2D1RenderTarget* target) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_target = target;
        m_brush = CreateSolidBrush(target, D2D1::ColorF(0, 0, 0, 1));
        m_background.SetTarget(target);
        layOutLocked();
    }

    void setBackground(const SharedBitmap& bitmap) { m_background.SetSource(bitmap); }

    // What a change makes again besides the layout.
    enum class Remake { Layout, Format };

    template <class Change>
    void change(Change&& apply, Remake remake = Remake::Layout) {
        std::lock_guard<std::mutex> lock(m_mutex);
        apply();
        if (remake == Remake::Format) makeFormatLocked();
        layOutLocked();
    }

    int m_id;
    mutable std::mutex m_mutex;  // the locale may change on another thread than the painting one
    TextSource m_text;
    D2D1_POINT_2F m_position;
    ID2D1RenderTarget* m_target = nullptr;
    float m_inset;
    float m_raise;
    float m_fontSize = 12;
    Align::Id m_alignment = Align::Start;

private:
    // The format follows the font size and the locale; it is device-independent and made only when they change.
    void makeFormatLocked() {
        m_format = MakeTextFormat(m_writeFactory.Get(), m_fontSize, DWRITE_TEXT_ALIGNMENT_CENTER,
                                  DWRITE_PARAGRAPH_ALIGNMENT_CENTER);
    }

    void layOutLocked() {
        m_layout.Reset();
        if (!m_format) return;
        m_layoutSize = m_target ? m_target->GetSize() : D2D1::SizeF(0, 0);
        const std::wstring text = m_text.text();
        CallFailed(m_writeFactory->CreateTextLayout(text.c_str(), static_cast<UINT32>(text.size()), m_format.Get(),
                                                    m_layoutSize.width, m_layoutSize.height, &m_layout),
                   "CreateTextLayout");
    }

    ComPtr<IDWriteFactory> m_writeFactory;
    ComPtr<IDWriteTextFormat> m_format;
    ComPtr<IDWriteTextLayout> m_layout;
    D2D1_SIZE_F m_layoutSize{};
    ComPtr<ID2D1SolidColorBrush> m_brush;
    ImageLoader m_images;  // before the bitmap it makes
    DeviceBitmap m_background{m_images};
};

std::unique_ptr<Label> Label::Create(int id, UiText::Id textId, POINT position, ID2D1RenderTarget* target,
                                     const std::wstring& placeholderName, float inset, float raise) {
    return std::unique_ptr<Label>(
        new Label(std::make_unique<Impl>(id, textId, position, target, placeholderName, inset, raise)));
}

Label::Label(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
Label::~Label() = default;

unsigned short Label::id() const { return static_cast<unsigned short>(m_impl->m_id & 0xFFFF); }
void Label::setBackground(const SharedBitmap& bitmap) { m_impl->setBackground(bitmap); }
void Label::redraw() { m_impl->paint(); }
ID2D1RenderTarget* Label::renderTarget() const { return m_impl->m_target; }
void Label::SetRenderTarget(ID2D1RenderTarget* target) { m_impl->setTarget(target); }
void Label::SetFontSize(float size) {
    m_impl->change([&] { m_impl->m_fontSize = size; }, Impl::Remake::Format);
}
void Label::SetPlaceholderValue(const std::wstring& value) {
    m_impl->change([&] { m_impl->m_text.SetPlaceholderValue(value); });
}
void Label::SetTextId(UiText::Id id) {
    m_impl->change([&] { m_impl->m_text.SetTextId(id); });
}
void Label::SetAlignment(Align::Id alignment) {
    std::lock_guard<std::mutex> lock(m_impl->m_mutex);
    m_impl->m_alignment = alignment;
}
std::wstring Label::text() const {
    std::lock_guard<std::mutex> lock(m_impl->m_mutex);
    return m_impl->m_text.text();
}

} // namespace Nolvar
