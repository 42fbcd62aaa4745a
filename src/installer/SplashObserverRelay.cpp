#include "installer/SplashObserverRelay.h"

namespace Nolvar {

void SplashObserverRelay::Attach(ISplashEventObserver& observer) {
    std::unique_lock lock(m_mutex);
    // Calls made while the kept ones are handed over are kept too, so the observer gets all in order.
    while (!m_kept.empty()) {
        std::vector<std::pair<Delivery, Report>> kept = std::exchange(m_kept, {});
        lock.unlock();
        for (const auto& [delivery, report] : kept) delivery(observer, report);
        lock.lock();
    }
    m_observer = &observer;
}

void SplashObserverRelay::Forward(Delivery delivery, Report report) {
    std::unique_lock lock(m_mutex);
    if (!m_observer) {
        m_kept.emplace_back(delivery, std::move(report));
        return;
    }
    Observer* observer = m_observer;
    lock.unlock();
    delivery(*observer, report);
}

} // namespace Nolvar
