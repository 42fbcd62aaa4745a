#pragma once
// The close button's delay: the button cannot be used for the first 10 seconds after it is made, the delay
// starting again each time it is made again (returning to a screen that has it); the installer logic may hide it
// besides. Used on the window's thread; only the notice that a delay is over comes from the timer's thread.
#include <functional>
#include <memory>

#include "utils/win/Timer.h"

namespace Nolvar {

constexpr int kCloseButtonDelayMs = 10000;

class CloseButtonDelay {
public:
    // Runs on the timer's thread with the generation of the delay that is over; the owner hands it to Over on its
    // own thread.
    using Notice = std::function<void(unsigned generation)>;

    explicit CloseButtonDelay(int delayMs = kCloseButtonDelayMs) : m_delayMs(delayMs) {}
    CloseButtonDelay(const CloseButtonDelay&) = delete;
    CloseButtonDelay& operator=(const CloseButtonDelay&) = delete;

    // The button was made (again): it is not usable until a delay from now is over; an earlier delay no longer
    // counts.
    void Restart(Notice notice);
    // The delay of `generation` is over. True when the button has just become usable: the generation is the
    // latest one and the button is not hidden.
    bool Over(unsigned generation);
    // The logic hides the button (true) or lets it show again.
    void SetHidden(bool hidden) { m_hidden = hidden; }
    // Whether the button can be used: its delay is over and it is not hidden.
    bool usable() const { return m_over && !m_hidden; }
    // No notice follows (a notice on its way still comes).
    void Stop();

private:
    const int m_delayMs;
    std::unique_ptr<Timer> m_timer;
    unsigned m_generation = 0;
    bool m_over = false;
    bool m_hidden = false;
};

} // namespace Nolvar
