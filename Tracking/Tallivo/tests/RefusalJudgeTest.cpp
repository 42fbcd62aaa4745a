#include <gtest/gtest.h>

#include <algorithm>

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

// A batch from the storage, never sent.
Batch NewBatch(std::vector<std::string> names) { return {"body", std::make_unique<NamedEvents>(std::move(names)), {}}; }

std::vector<std::string> Names(const Batch& batch) {
    return batch.events ? batch.events->get() : std::vector<std::string>{};
}

const std::vector<std::string> kFour = {"0", "1", "2", "3"};

// The server takes a new batch from the storage.
void TakeANewBatch(RefusalJudge& judge) { judge.accepted(NewBatch({"new"}).history); }

// The server refuses a new batch from the storage; the judge keeps it.
void RefuseANewBatch(RefusalJudge& judge, const std::string& name) { judge.refused(NewBatch({name}), kForbidden); }

// Carries out what the judge decided, as the scheduler does; the verdicts in order.
std::vector<Verdict> CarryOut(RefusalJudge& judge) {
    std::vector<Verdict> verdicts;
    for (RefusalJudge::Step step = judge.decided(); !step.batch.empty(); step = judge.decided()) {
        verdicts.push_back(step.verdict);
        if (step.verdict == Verdict::Split) judge.parts(std::move(step.batch).split(1));
    }
    return verdicts;
}

} // namespace

TEST(RefusalJudge, ABatchRefusedWhileTheServerTakesOthersOrTooLargeGoesEventByEvent) {
    RefusalJudge judge;
    // Nothing taken yet: the server may refuse everyone. Kept whole.
    judge.refused(NewBatch(kFour), kForbidden);
    EXPECT_TRUE(CarryOut(judge).empty());
    TakeANewBatch(judge);
    Batch again = judge.next(true);
    EXPECT_EQ(Names(again), kFour);
    EXPECT_EQ(again.text, "body");  // sent unchanged

    // Refused again after the server took another: its events one by one, before anything else, each built anew.
    RefuseANewBatch(judge, "other");
    judge.refused(std::move(again), kForbidden);
    EXPECT_EQ(CarryOut(judge), std::vector<Verdict>{Verdict::Split});
    for (const std::string& name : kFour) {
        Batch part = judge.next(false);
        EXPECT_EQ(Names(part), std::vector<std::string>{name});
        EXPECT_TRUE(part.text.empty());
        judge.accepted(part.history);
    }
    EXPECT_EQ(Names(judge.next(false)), std::vector<std::string>{"other"});
    EXPECT_FALSE(judge.keepsAny());

    // A new batch refused right after the server took one is parted at once; one too large without that.
    TakeANewBatch(judge);
    judge.refused(NewBatch(kFour), kForbidden);
    EXPECT_EQ(CarryOut(judge), std::vector<Verdict>{Verdict::Split});
    while (judge.keepsAny()) judge.next(false);
    judge.refused(NewBatch({"a", "b"}), kTooLarge);
    EXPECT_EQ(CarryOut(judge), std::vector<Verdict>{Verdict::Split});
    EXPECT_EQ(Names(judge.next(false)), std::vector<std::string>{"a"});
    EXPECT_EQ(Names(judge.next(false)), std::vector<std::string>{"b"});
}

TEST(RefusalJudge, AnEventIsSetAsideOnlyWhenTheServerTakesTheNewBatchesAroundItWhileRefusingItAgainAndAgain) {
    // Refused every time while the server takes every new batch sent around it: set aside at the eleventh refusal
    // with ten batches taken around it (a server refusing at random does that once in about 350,000 times).
    RefusalJudge judge;
    RefuseANewBatch(judge, "bad");
    int refusals = 1;
    while (CarryOut(judge).empty()) {
        ASSERT_LT(refusals, 20);
        TakeANewBatch(judge);
        judge.refused(judge.next(true), kForbidden);
        ++refusals;
    }
    EXPECT_EQ(refusals, 11);
    EXPECT_FALSE(judge.keepsAny());

    // Twenty refusals while the server refuses every other new batch too: kept.
    RefusalJudge random;
    Batch unlucky = NewBatch({"unlucky"});
    for (int i = 0; i < 20; ++i) {
        random.refused(std::move(unlucky), kForbidden);
        TakeANewBatch(random);
        RefuseANewBatch(random, "refused too");
        EXPECT_TRUE(CarryOut(random).empty()) << i;
        do unlucky = random.next(true);
        while (Names(unlucky) != std::vector<std::string>{"unlucky"});
    }
}

TEST(RefusalJudge, AnEventRefusedOnItsOwnGoesRightAfterTheServerTakesABatchButNeverTwiceInARow) {
    RefusalJudge judge;
    TakeANewBatch(judge);
    judge.refused(NewBatch({"s", "p", "q"}), kForbidden);
    ASSERT_EQ(CarryOut(judge), std::vector<Verdict>{Verdict::Split});
    judge.refused(judge.next(true), kForbidden);  // "s"
    judge.accepted(judge.next(false).history);     // "p"
    Batch single = judge.next(true);
    EXPECT_EQ(Names(single), std::vector<std::string>{"s"});
    judge.refused(std::move(single), kForbidden);
    TakeANewBatch(judge);
    EXPECT_EQ(Names(judge.next(true)), std::vector<std::string>{"q"});
    EXPECT_EQ(Names(judge.next(true)), std::vector<std::string>{"s"});
}

TEST(RefusalJudge, AServerRefusingEveryBatchHasNoneSplitOrSetAsideAlsoAfterItTookOneEarlier) {
    RefusalJudge judge;
    // A batch refused, the server took another, then that batch too (it leaves the judge): nothing learnt stays.
    judge.refused(NewBatch(kFour), kForbidden);
    TakeANewBatch(judge);
    ASSERT_EQ(Names(judge.next(true)), kFour);

    // From now on it refuses everything, also single events as too large: each goes again in turn, whole.
    judge.refused(NewBatch({"y"}), kForbidden);
    judge.refused(NewBatch(kFour), kForbidden);
    judge.refused(NewBatch({"x"}), kTooLarge);
    for (int i = 0; i < 50; ++i) {
        EXPECT_TRUE(CarryOut(judge).empty()) << i;
        Batch oldest = judge.next(false);
        const std::int32_t status = oldest.size() == 1 && i % 2 ? kTooLarge : kForbidden;
        judge.refused(std::move(oldest), status);
    }
    std::vector<std::vector<std::string>> kept;
    while (judge.keepsAny()) kept.push_back(Names(judge.next(false)));
    EXPECT_EQ(kept.size(), 3u);
    EXPECT_TRUE(std::find(kept.begin(), kept.end(), kFour) != kept.end());  // whole
}
