#include "Tracking/Tallivo/Impl/RefusalJudge.h"

namespace Nolvar::Tracking::Instant {

namespace {

constexpr std::int32_t kPayloadTooLarge = 413;

} // namespace

bool IsRefusal(const ISender::Response& response) {
    return response.kind == ISender::ResponseKind::OtherStatus && response.status >= 401 && response.status <= 499;
}

RefusalJudge::Verdict RefusalJudge::refused(int refusals, std::int32_t status) {
    if (!m_refusing) {
        m_refusing = true;
        m_acceptedSinceRefusals = false;
    }
    if (refusals < kRefusalsBeforeJudging) return Verdict::Retry;
    if (status == kPayloadTooLarge || m_acceptedSinceRefusals) return Verdict::Split;
    // Another batch is tried after every few refusals: while the server refuses it too, nothing is split.
    return refusals % kRefusalsBeforeJudging == 0 ? Verdict::Probe : Verdict::Retry;
}

void RefusalJudge::accepted(bool refusedBefore) {
    if (refusedBefore)
        reset();
    else if (m_refusing)
        m_acceptedSinceRefusals = true;
}

void RefusalJudge::reset() {
    m_refusing = false;
    m_acceptedSinceRefusals = false;
}

} // namespace Nolvar::Tracking::Instant
