#pragma once
// Tells an event the server refuses for what it is from a server that refuses at random or refuses everyone, and
// keeps the refused batches meanwhile.
#include <cstdint>
#include <deque>
#include <vector>

#include "Tracking/Tallivo/Impl/Batch.h"
#include "Tracking/Tallivo/Impl/ISender.h"
#include "Tracking/Tallivo/TallivoApi.h"

namespace Nolvar::Tracking::Instant {

// A refusal is an answer from 401 to 499 other than 429 (400 deletes the batch, 429 asks to wait).
TALLIVO_API bool IsRefusal(const ISender::Response& response);

// A batch refused after the server took another batch, or one the server says is too large (413), is sent again
// event by event. A single event is set aside only on evidence that the refusals are about it: the server
// took the new batches sent around it while it refused that event again and again, so often that a server refusing
// at random, as often as it refused those batches, would have refused all of its uploads with a chance of at most
// kMostChanceOfBadLuck. While the judge keeps a refused batch its events stay handed out, so the batches the
// storage gives meanwhile hold events never refused. What the judge knows of a batch leaves with it.
class TALLIVO_API RefusalJudge {
public:
    static constexpr double kMostChanceOfBadLuck = 1e-5;

    enum class Verdict {
        Retry,     // keep it to send again in turn
        Split,     // send its events one by one
        SetAside,  // set the single event aside
    };
    struct Step {
        Verdict verdict = Verdict::Retry;
        Batch batch;  // what the verdict is about; empty when none is due
    };

    // The server refused `batch` with `status`; the judge keeps it.
    void refused(Batch batch, std::int32_t status);
    // The server took the batch in flight; `of` is its history.
    void accepted(const RefusalHistory& of);
    // A Split or SetAside decided on a refusal, to carry out now; an empty batch when none is due.
    Step decided();
    bool keepsAny() const { return !m_kept.empty(); }
    // Whether it keeps parts of a split batch not sent yet.
    bool keepsParts() const;
    // The kept batch to send next: the parts of split batches, in order; else a batch the server took another
    // since; else the one refused longest ago. With `singleFirst`, an event refused on its own that the server took
    // another batch since goes before them, but not twice in a row: when nothing new is sent, the parts go around
    // it. Empty when none is kept.
    Batch next(bool singleFirst);
    // The parts of a batch split on the judge's word, to go before the other kept batches.
    void parts(std::vector<Batch> parts);

private:
    struct Kept {
        Batch batch;
        Verdict due;
    };
    // Parts first, then the refused batches in the order of their last refusal.
    std::deque<Kept> m_kept;
    bool m_lastTaken = false;         // the last answer was an acceptance
    bool m_singleHandedOut = false;   // the last batch handed out was an event refused on its own
};

} // namespace Nolvar::Tracking::Instant
