#include <gtest/gtest.h>

#include "Tracking/Tallivo/Impl/RefusalJudge.h"

using namespace Nolvar::Tracking::Instant;
using Verdict = RefusalJudge::Verdict;

namespace {

constexpr std::int32_t kForbidden = 403;
constexpr std::int32_t kTooLarge = 413;

// Events the test names; a part keeps the names of its events.
class NamedEvents : public ISerializedEvents {
public:
    explicit NamedEvents(std::vector<std::string> names) : m_names(std::move(names)) {}
    const std::vector<std::string>& get() const override { return m_names; }
    bool commit() override { return true; }
    std::unique_ptr<ISerializedEvents> takeFirst(std::size_t count) override {
        const auto cut = m_names.begin() + static_cast<std::ptrdiff_t>(count);
        auto first = std::make_unique<NamedEvents>(std::vector<std::string>(m_names.begin(), cut));
        m_names.erase(m_names.begin(), cut);
        return first;
    }

private:
    std::vector<std::string> m_names;
};

Batch MakeBatch(std::vector<std::string> names) {
    return {"body", std::make_unique<NamedEvents>(std::move(names)), {}};
}

std::vector<std::string> Names(const Batch& batch) {
    return batch.events ? batch.events->get() : std::vector<std::string>{};
}

const std::vector<std::string> kTen = {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"};

// Applies a Split as the scheduler does.
void SplitInHalves(RefusalJudge& judge, RefusalJudge::Step step) {
    Batch first = step.batch.takeFirst(step.batch.size() / 2);
    judge.parts(std::move(first), std::move(step.batch));
}

} // namespace

TEST(RefusalJudge, ProbeTriesABatchNeverRefusedAndTheRefusedOnesOnlyWhenThereIsNone) {
    RefusalJudge judge;
    EXPECT_EQ(judge.next().verdict, Verdict::Probe);  // nothing refused: the storage's next batch
    judge.refused(MakeBatch({"a"}), kForbidden);
    EXPECT_EQ(judge.next().verdict, Verdict::Probe);
    judge.refused(MakeBatch({"b"}), kForbidden);  // the probe is refused too: another one, never "a" or "b"
    EXPECT_EQ(judge.next().verdict, Verdict::Probe);

    // The storage has nothing else: the kept batches go again in turn.
    Batch oldest = judge.takeOldest();
    EXPECT_EQ(Names(oldest), std::vector<std::string>{"a"});
    judge.refused(std::move(oldest), kForbidden);
    EXPECT_EQ(Names(judge.takeOldest()), std::vector<std::string>{"b"});
}

TEST(RefusalJudge, RetrySendsARefusedBatchAtOnceOnceTheServerTookAnother) {
    RefusalJudge judge;
    judge.refused(MakeBatch(kTen), kForbidden);
    judge.accepted();
    RefusalJudge::Step step = judge.next();
    EXPECT_EQ(step.verdict, Verdict::Retry);
    EXPECT_EQ(Names(step.batch), kTen);
    EXPECT_EQ(step.batch.text, "body");  // sent unchanged
    EXPECT_EQ(judge.next().verdict, Verdict::Probe);  // it was handed out: once taken, it is gone
}

TEST(RefusalJudge, SplitSendsABatchRefusedWhileTheServerTakesOthersInHalvesDownToSingleEvents) {
    RefusalJudge judge;
    judge.refused(MakeBatch(kTen), kForbidden);
    EXPECT_EQ(judge.next().verdict, Verdict::Probe);
    judge.accepted();
    judge.refused(judge.next().batch, kForbidden);  // refused again: its own

    RefusalJudge::Step step = judge.next();
    ASSERT_EQ(step.verdict, Verdict::Split);
    SplitInHalves(judge, std::move(step));
    // The halves go at once, first half first; a half refused is halved again at once.
    step = judge.next();
    ASSERT_EQ(step.verdict, Verdict::Retry);
    EXPECT_EQ(Names(step.batch), (std::vector<std::string>{"0", "1", "2", "3", "4"}));
    EXPECT_TRUE(step.batch.text.empty());  // built anew
    judge.refused(std::move(step.batch), kForbidden);
    step = judge.next();
    ASSERT_EQ(step.verdict, Verdict::Split);
    SplitInHalves(judge, std::move(step));
    EXPECT_EQ(Names(judge.next().batch), (std::vector<std::string>{"0", "1"}));
    EXPECT_EQ(Names(judge.next().batch), (std::vector<std::string>{"2", "3", "4"}));
    EXPECT_EQ(Names(judge.next().batch), (std::vector<std::string>{"5", "6", "7", "8", "9"}));

    // Too large: halved without waiting for the server to take another batch, but the halves wait their turn.
    judge.refused(MakeBatch(kTen), kTooLarge);
    step = judge.next();
    ASSERT_EQ(step.verdict, Verdict::Split);
    SplitInHalves(judge, std::move(step));
    EXPECT_EQ(judge.next().verdict, Verdict::Probe);
    EXPECT_EQ(Names(judge.takeOldest()), (std::vector<std::string>{"0", "1", "2", "3", "4"}));
}

TEST(RefusalJudge, SetAsideTakesASingleEventRefusedThreeTimesTheLastWhileTheServerTakesOthers) {
    RefusalJudge judge;
    judge.refused(MakeBatch({"r"}), kForbidden);
    judge.accepted();
    judge.refused(judge.next().batch, kForbidden);  // its own, but twice in all
    EXPECT_EQ(judge.next().verdict, Verdict::Probe);
    judge.accepted();
    RefusalJudge::Step step = judge.next();
    ASSERT_EQ(step.verdict, Verdict::Retry);
    judge.refused(std::move(step.batch), kForbidden);

    step = judge.next();
    EXPECT_EQ(step.verdict, Verdict::SetAside);
    EXPECT_EQ(Names(step.batch), std::vector<std::string>{"r"});
    EXPECT_EQ(step.batch.history.lastStatus, kForbidden);
    EXPECT_EQ(judge.next().verdict, Verdict::Probe);
}

TEST(RefusalJudge, AServerRefusingEveryBatchHasNoneSplitOrSetAsideAlsoAfterItTookOneEarlier) {
    RefusalJudge judge;
    // A batch refused, the server took another, then that batch too (it leaves the judge): nothing learnt stays.
    judge.refused(MakeBatch(kTen), kForbidden);
    judge.accepted();
    ASSERT_EQ(judge.next().verdict, Verdict::Retry);

    // From now on it refuses everything, also single events as too large.
    judge.refused(MakeBatch(kTen), kForbidden);
    judge.refused(MakeBatch({"x"}), kTooLarge);
    judge.refused(MakeBatch({"y"}), kForbidden);
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(judge.next().verdict, Verdict::Probe) << i;
        Batch oldest = judge.takeOldest();
        const std::int32_t status = oldest.size() == 1 && i % 2 ? kTooLarge : kForbidden;
        judge.refused(std::move(oldest), status);
    }
    std::vector<std::vector<std::string>> kept;
    for (Batch batch = judge.takeOldest(); !batch.empty(); batch = judge.takeOldest()) kept.push_back(Names(batch));
    EXPECT_EQ(kept.size(), 3u);  // all kept, whole
}
