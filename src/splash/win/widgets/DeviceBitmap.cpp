#include "splash/win/widgets/DeviceBitmap.h"

namespace Nolvar {

void DeviceBitmap::SetSource(SharedBitmap source) {
    if (source == m_source) return;
    m_source = std::move(source);
    make();
}

void DeviceBitmap::SetTarget(ID2D1RenderTarget* target) {
    m_target = target;
    make();
}

void DeviceBitmap::make() {
    m_bitmap = m_target && m_source ? m_images->ToDirect2D(m_source, m_target) : nullptr;
}

} // namespace Nolvar
