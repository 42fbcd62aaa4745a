#include "installer/SplashObserverRelay.h"

#include <utility>

namespace Nolvar {

void SplashObserverRelay::Attach(ISplashEventObserver& observer) {
    std::unique_lock lock(m_mutex);
    // Calls made while the kept ones are handed over are kept too, so the observer gets all in order.
    while (!m_kept.empty()) {
        std::vector<Call> calls = std::exchange(m_kept, {});
        lock.unlock();
        for (const Call& call : calls) call(observer);
        lock.lock();
    }
    m_observer = &observer;
}

void SplashObserverRelay::Forward(Call call) {
    std::unique_lock lock(m_mutex);
    if (!m_observer) {
        m_kept.push_back(std::move(call));
        return;
    }
    ISplashEventObserver* observer = m_observer;
    lock.unlock();
    call(*observer);
}

} // namespace Nolvar
