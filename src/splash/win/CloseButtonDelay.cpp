#include "splash/win/CloseButtonDelay.h"

#include <utility>

namespace Nolvar {

void CloseButtonDelay::Restart(Notice notice) {
    const unsigned generation = ++m_generation;
    m_over = false;
    m_timer = std::make_unique<Timer>(m_delayMs, [notice = std::move(notice), generation] { notice(generation); });
    m_timer->Start();
}

bool CloseButtonDelay::Over(unsigned generation) {
    if (generation != m_generation) return false;
    Stop();
    m_over = true;
    return !m_hidden;
}

void CloseButtonDelay::Stop() {
    if (m_timer) m_timer->Stop();
}

} // namespace Nolvar
