#pragma once
// Tells a batch the server refuses for what it holds from a server that refuses every batch, and keeps the
// refused batches meanwhile.
#include <cstdint>
#include <deque>

#include "Tracking/Tallivo/Impl/Batch.h"
#include "Tracking/Tallivo/Impl/ISender.h"
#include "Tracking/Tallivo/TallivoApi.h"

namespace Nolvar::Tracking::Instant {

// A refusal is an answer from 401 to 499 other than 429 (400 deletes the batch, 429 asks to wait).
TALLIVO_API bool IsRefusal(const ISender::Response& response);

// A refusal is the batch's own when the server took another batch since this one was last refused. Only then are
// its events sent in halves (at once: the server is up), down to single events; a single event refused so, and
// at least three times in all, is set aside. A batch the server says is too large (413) is halved without that,
// but its halves wait like any other batch. While the judge keeps a refused batch its events stay handed out, so
// the batches the storage gives meanwhile hold events never refused. What the judge knows of a batch leaves with it.
class TALLIVO_API RefusalJudge {
public:
    static constexpr int kRefusalsBeforeSettingAside = 3;

    enum class Verdict {
        Retry,     // send the batch handed back again, at once
        Probe,     // after backing off, send a batch never refused from the storage; when it has none, `takeOldest`
        Split,     // part the batch handed back in two and give the halves to `parts`
        SetAside,  // set the single event handed back aside
    };
    struct Step {
        Verdict verdict = Verdict::Probe;
        Batch batch;  // what the verdict is about; empty for Probe
    };

    // The server refused `batch` with `status`; the judge keeps it.
    void refused(Batch batch, std::int32_t status);
    // The server took the batch in flight.
    void accepted();
    // What to send next.
    Step next();
    // The kept batch that waited longest, to send again when the storage has nothing else; empty when none is kept.
    Batch takeOldest();
    // The halves of a batch split on the judge's word.
    void parts(Batch first, Batch second);

private:
    struct Kept {
        Batch batch;
        Verdict due;  // Split or SetAside: decided; Retry: once the server takes another batch
    };
    // Parts first, then the refused batches in the order of their last refusal.
    std::deque<Kept> m_kept;
};

} // namespace Nolvar::Tracking::Instant
