#pragma once
// Tells a batch the server refuses for what it holds from a server that refuses every batch.
#include <cstdint>

#include "Tracking/Tallivo/Impl/ISender.h"

namespace Nolvar::Tracking::Instant {

// A refusal is an answer from 401 to 499 other than 429 (400 deletes the batch, 429 asks to wait).
bool IsRefusal(const ISender::Response& response);

class RefusalJudge {
public:
    // Refusals of one batch before anything but re-sending it is considered.
    static constexpr int kRefusalsBeforeJudging = 3;

    enum class Verdict {
        Retry,  // send it again after backing off
        Probe,  // set it back and send another batch: its answer shows whether the server refuses every batch
        Split,  // the refusal is the batch's own: send fewer events at a time, set a single one aside
    };

    // The batch in flight was refused for the `refusals`-th time, with `status`. Only a batch the server
    // refuses while it accepted another since the refusals began (or one refused as too large) is split.
    Verdict refused(int refusals, std::int32_t status);
    // A batch was accepted; `refusedBefore`: that batch itself had been refused, so its refusals were not its own.
    void accepted(bool refusedBefore);
    // The refusals are over (the refused event was set aside, or all of a split batch went through): later
    // refusals are judged afresh.
    void reset();

private:
    bool m_refusing = false;
    bool m_acceptedSinceRefusals = false;
};

} // namespace Nolvar::Tracking::Instant
