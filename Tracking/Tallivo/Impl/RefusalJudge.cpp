#include "Tracking/Tallivo/Impl/RefusalJudge.h"

#include <algorithm>
#include <utility>

namespace Nolvar::Tracking::Instant {

namespace {

constexpr std::int32_t kPayloadTooLarge = 413;

// Of all uploads since these events' first refusal, theirs and the unsent batches', as many were refused as were;
// the chance that refusals falling at random would have hit every one of theirs.
double ChanceOfBadLuck(const RefusalHistory& history) {
    const int others = history.othersTaken + history.othersRefused;
    double chance = 1.0;
    for (int i = 1; i <= history.refusals; ++i) chance *= double(history.othersRefused + i) / double(others + i);
    return chance;
}

// An event refused as a single one, not a part waiting for its first upload.
bool RefusedOnItsOwn(const Batch& batch) { return batch.size() == 1 && !batch.history.unsent; }

} // namespace

bool IsRefusal(const ISender::Response& response) {
    return response.kind == ISender::ResponseKind::OtherStatus && response.status >= 401 && response.status <= 499;
}

void RefusalJudge::refused(Batch batch, std::int32_t status) {
    for (Kept& kept : m_kept) kept.batch.history.othersRefused += batch.history.unsent;
    RefusalHistory& history = batch.history;
    // The server is taking other batches: a batch just taken from the storage counts the answer before it.
    const bool othersTaken = history.acceptedSince || (history.unsent && m_lastTaken);
    ++history.refusals;
    history.lastStatus = status;
    history.acceptedSince = false;
    history.unsent = false;
    m_lastTaken = false;

    Verdict due = Verdict::Retry;
    if (batch.size() > 1 && (othersTaken || status == kPayloadTooLarge)) {
        due = Verdict::Split;
    } else if (batch.size() == 1 && ChanceOfBadLuck(history) <= kMostChanceOfBadLuck) {
        due = Verdict::SetAside;
    }
    m_kept.push_back({std::move(batch), due});
}

void RefusalJudge::accepted(const RefusalHistory& of) {
    for (Kept& kept : m_kept) {
        kept.batch.history.acceptedSince = true;
        kept.batch.history.othersTaken += of.unsent;
    }
    m_lastTaken = true;
}

bool RefusalJudge::keepsParts() const {
    return std::any_of(m_kept.begin(), m_kept.end(), [](const Kept& kept) { return kept.batch.history.unsent; });
}

RefusalJudge::Step RefusalJudge::decided() {
    const auto it = std::find_if(m_kept.begin(), m_kept.end(), [](const Kept& kept) {
        return kept.due != Verdict::Retry;
    });
    if (it == m_kept.end()) return {};
    Step step{it->due, std::move(it->batch)};
    m_kept.erase(it);
    return step;
}

Batch RefusalJudge::next(bool singleFirst) {
    const auto take = [this](auto isNext) -> Batch {
        const auto it = std::find_if(m_kept.begin(), m_kept.end(), isNext);
        if (it == m_kept.end()) return {};
        Batch batch = std::move(it->batch);
        m_kept.erase(it);
        return batch;
    };
    Batch batch;
    if (singleFirst && !m_singleHandedOut) {
        batch = take([](const Kept& kept) { return RefusedOnItsOwn(kept.batch) && kept.batch.history.acceptedSince; });
    }
    if (batch.empty()) batch = take([](const Kept& kept) { return kept.batch.history.unsent; });
    if (batch.empty()) batch = take([](const Kept& kept) { return kept.batch.history.acceptedSince; });
    if (batch.empty()) batch = take([](const Kept&) { return true; });
    m_singleHandedOut = RefusedOnItsOwn(batch);
    return batch;
}

void RefusalJudge::parts(std::vector<Batch> parts) {
    for (auto it = parts.rbegin(); it != parts.rend(); ++it) m_kept.push_front({std::move(*it), Verdict::Retry});
}

} // namespace Nolvar::Tracking::Instant
