#include "Tracking/Tallivo/Impl/RefusalJudge.h"

#include <algorithm>
#include <optional>
#include <utility>

namespace Nolvar::Tracking::Instant {

namespace {

constexpr std::int32_t kPayloadTooLarge = 413;

} // namespace

bool IsRefusal(const ISender::Response& response) {
    return response.kind == ISender::ResponseKind::OtherStatus && response.status >= 401 && response.status <= 499;
}

void RefusalJudge::refused(Batch batch, std::int32_t status) {
    RefusalHistory& history = batch.history;
    const bool own = history.acceptedSince;
    const bool narrowing = history.narrowing;
    ++history.refusals;
    history.lastStatus = status;
    history.acceptedSince = false;
    history.narrowing = false;

    Verdict due = Verdict::Retry;
    if (batch.size() > 1 && (own || narrowing)) {
        due = Verdict::Split;
        history.narrowing = true;  // the halves go at once
    } else if (batch.size() > 1 && status == kPayloadTooLarge) {
        due = Verdict::Split;
    } else if (own && history.refusals >= kRefusalsBeforeSettingAside) {
        due = Verdict::SetAside;
    }
    m_kept.push_back({std::move(batch), due});
}

void RefusalJudge::accepted() {
    for (Kept& kept : m_kept) kept.batch.history.acceptedSince = true;
}

RefusalJudge::Step RefusalJudge::next() {
    const auto take = [this](auto isNext) -> std::optional<Step> {
        const auto it = std::find_if(m_kept.begin(), m_kept.end(), isNext);
        if (it == m_kept.end()) return std::nullopt;
        Step step{it->due, std::move(it->batch)};
        m_kept.erase(it);
        return step;
    };
    // Decided verdicts first, then the parts being narrowed, then batches the server may take now.
    if (auto step = take([](const Kept& kept) { return kept.due != Verdict::Retry; })) return std::move(*step);
    if (auto step = take([](const Kept& kept) { return kept.batch.history.narrowing; })) return std::move(*step);
    if (auto step = take([](const Kept& kept) { return kept.batch.history.acceptedSince; })) return std::move(*step);
    return {};
}

Batch RefusalJudge::takeOldest() {
    if (m_kept.empty()) return {};
    Batch oldest = std::move(m_kept.front().batch);
    m_kept.pop_front();
    return oldest;
}

void RefusalJudge::parts(Batch first, Batch second) {
    m_kept.push_front({std::move(second), Verdict::Retry});
    m_kept.push_front({std::move(first), Verdict::Retry});
}

} // namespace Nolvar::Tracking::Instant
