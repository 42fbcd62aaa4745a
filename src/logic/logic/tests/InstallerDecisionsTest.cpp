// The rules by which the logic moves a run on, each tested alone: no window, no server, no installer.
#include "logic/logic/InstallerDecisions.h"

#include <gtest/gtest.h>

#include "logic/logic/RetryRules.h"

namespace {

using namespace Nolvar;

InstallerItems Items(std::initializer_list<ItemStatus> statuses, std::uint64_t received = 0, std::uint64_t total = 0) {
    InstallerItems items;
    for (ItemStatus status : statuses) {
        items.emplace_back().status = status;
        items.back().receivedBytes = received;
        items.back().totalBytes = total;
    }
    return items;
}

// An installer that has ended with `state`.
struct EndedExecutor final : IInstallerExecutor {
    explicit EndedExecutor(ExitState state) : state(state) {}
    void Start() override {}
    ExitState GetExitState() const override { return state; }
    void WaitForEnd() override {}
    ExitState state;
};

TEST(RetryRules, DownloadsAreOfferedThreeTimesInstallationsRetriedOnceThenOfferedThreeTimesThenGivenUp) {
    using Download = RetryRules::DownloadStep;
    using Install = RetryRules::InstallStep;
    RetryRules rules;
    std::vector<Download> downloads;
    std::vector<Install> installs;
    for (int i = 0; i < 5; ++i) downloads.push_back(rules.AfterDownloadFailure());
    for (int i = 0; i < 6; ++i) installs.push_back(rules.AfterInstallFailure());
    EXPECT_EQ(downloads, (std::vector{Download::OfferRetry, Download::OfferRetry, Download::OfferRetry,
                                      Download::ShowNoConnection, Download::ShowNoConnection}));
    EXPECT_EQ(installs, (std::vector{Install::RetryAtOnce, Install::OfferRetry, Install::OfferRetry, Install::OfferRetry,
                                     Install::GiveUp, Install::GiveUp}));
}

TEST(InstallerDecisions, ASecondStartIsIgnoredAnEarlyOneHeldAndAfterTheExitOnlyTheExitIsTaken) {
    EXPECT_EQ(JudgeStateChange(RunState::Initial, RunState::Working, true), StateChange::Take);
    EXPECT_EQ(JudgeStateChange(RunState::Initial, RunState::Working, false), StateChange::HoldUntilConfigured);
    EXPECT_EQ(JudgeStateChange(RunState::Initial, RunState::Exit, false), StateChange::Take);
    EXPECT_EQ(JudgeStateChange(RunState::Working, RunState::Working, true), StateChange::RepeatedStart);
    EXPECT_EQ(JudgeStateChange(RunState::Working, RunState::Ready, true), StateChange::ReadyAfterStart);
    EXPECT_EQ(JudgeStateChange(RunState::Working, RunState::Exit, true), StateChange::Take);
    EXPECT_EQ(JudgeStateChange(RunState::Exit, RunState::Working, true), StateChange::AfterExit);
    EXPECT_EQ(JudgeStateChange(RunState::Exit, RunState::Ready, true), StateChange::AfterExit);
    EXPECT_EQ(JudgeStateChange(RunState::Exit, RunState::Exit, true), StateChange::Take);
}

TEST(InstallerDecisions, TheStartScreenShowsOnceAndALateImageIsHandedOverWhereTheUserIs) {
    using enum StartImageNews;
    const auto next = [](StartScreenState state, StartImageNews news) {
        const StartScreenStep step = NextStartScreenStep(state, news);
        return std::pair{step, StartScreenAfter(state, step)};
    };
    EXPECT_EQ(next(StartScreenState::NotShown, Arrived),
              std::pair(StartScreenStep::ShowWithImage, StartScreenState::ShownWithImage));
    EXPECT_EQ(next(StartScreenState::NotShown, Failed),
              std::pair(StartScreenStep::ShowWithoutImage, StartScreenState::ShownWithoutImage));
    EXPECT_EQ(next(StartScreenState::NotShown, WaitOver),
              std::pair(StartScreenStep::ShowWithoutImage, StartScreenState::ShownWithoutImage));
    EXPECT_EQ(next(StartScreenState::ShownWithoutImage, Arrived),
              std::pair(StartScreenStep::HandOverImage, StartScreenState::ShownWithImage));
    for (const StartImageNews news : {Failed, WaitOver})
        EXPECT_EQ(next(StartScreenState::ShownWithoutImage, news),
                  std::pair(StartScreenStep::Nothing, StartScreenState::ShownWithoutImage));
    for (const StartImageNews news : {Arrived, Failed, WaitOver})
        EXPECT_EQ(next(StartScreenState::ShownWithImage, news),
                  std::pair(StartScreenStep::Nothing, StartScreenState::ShownWithImage));
}

TEST(InstallerDecisions, AFailedDownloadWaitsForTheRunningOnesThenIsDecidedAtOnceWhileWorkingOrElseAtStart) {
    InstallerItems items = Items({ItemStatus::DownloadFailed, ItemStatus::Downloading, ItemStatus::Downloaded}, 10, 40);
    EXPECT_EQ(NextAfterDownloadFailure(CountDownloadOutcomes(items), RunState::Working),
              AfterDownloadFailure::WaitForRunningDownloads);
    items[1].status = ItemStatus::DownloadFailed;
    const DownloadOutcomes outcomes = CountDownloadOutcomes(items);
    EXPECT_EQ(outcomes.failedReceivedBytes, 20u);
    EXPECT_EQ(outcomes.failedTotalBytes, 80u);
    EXPECT_FALSE(outcomes.AllFailed());
    EXPECT_EQ(NextAfterDownloadFailure(outcomes, RunState::Working), AfterDownloadFailure::DecideNow);
    EXPECT_EQ(NextAfterDownloadFailure(outcomes, RunState::Ready), AfterDownloadFailure::DecideAtStart);
    items[2].status = ItemStatus::DownloadFailed;
    EXPECT_TRUE(CountDownloadOutcomes(items).AllFailed());
}

TEST(InstallerDecisions, ASkippedItemIsSettledNeitherRunningNorFailedAndEndsItsRunAsDone) {
    const DownloadOutcomes none = CountDownloadOutcomes({});
    EXPECT_TRUE(none.AllDownloaded() && none.NoneRunning() && AllDone({}));

    InstallerItems items = Items({ItemStatus::Downloaded, ItemStatus::Downloading}, 0, 7);
    items[0].totalBytes = 5'000'000'000ull;
    EXPECT_FALSE(CountDownloadOutcomes(items).AllDownloaded());
    items[1].status = ItemStatus::Skipped;
    DownloadOutcomes outcomes = CountDownloadOutcomes(items);
    EXPECT_TRUE(outcomes.AllDownloaded());
    EXPECT_EQ(outcomes.totalBytes, 5'000'000'007ull);
    EXPECT_FALSE(AllDone(items));
    items[0].status = ItemStatus::Installed;
    EXPECT_TRUE(AllDone(items));
    EXPECT_FALSE(CountDownloadOutcomes(items).AllDownloaded());

    // A failure beside a skipped item is decided at once, not held for a download that never ends.
    items = Items({ItemStatus::Skipped, ItemStatus::DownloadFailed, ItemStatus::Downloaded}, 10, 40);
    outcomes = CountDownloadOutcomes(items);
    EXPECT_EQ(NextAfterDownloadFailure(outcomes, RunState::Working), AfterDownloadFailure::DecideNow);
    EXPECT_FALSE(outcomes.AllFailed());
    EXPECT_EQ(outcomes.failedTotalBytes, 40u);
    // Every item that was not skipped failed: the bundle failed; skipping all is no failure.
    items[2].status = ItemStatus::DownloadFailed;
    EXPECT_TRUE(CountDownloadOutcomes(items).AllFailed());
    EXPECT_FALSE(CountDownloadOutcomes(Items({ItemStatus::Skipped, ItemStatus::Skipped})).AllFailed());
}

TEST(InstallerDecisions, LateOrRepeatedDownloadReportsChangeNoSettledItem) {
    EXPECT_TRUE(TakesDownloadProgress(ItemStatus::New) && TakesDownloadProgress(ItemStatus::DownloadFailed));
    EXPECT_TRUE(TakesDownloadFinish(ItemStatus::DownloadFailed));   // a retried download finishing late
    EXPECT_TRUE(TakesDownloadFailure(ItemStatus::Downloading));
    EXPECT_FALSE(TakesDownloadFailure(ItemStatus::DownloadFailed));
    for (ItemStatus settled : {ItemStatus::Downloaded, ItemStatus::Installing, ItemStatus::Installed,
                               ItemStatus::InstallFailed, ItemStatus::Skipped})
        EXPECT_FALSE(TakesDownloadProgress(settled) || TakesDownloadFinish(settled) || TakesDownloadFailure(settled));
}

TEST(InstallerDecisions, ProgressAndTheDiskSpaceNeededComeFromTheItems) {
    // One product: the report's own fraction, within 0..100; several: the bytes of all, 0 while no size is known.
    EXPECT_EQ(DownloadProgressPercent(Items({ItemStatus::Downloading}, 1, 2), 0.377), 37u);
    EXPECT_EQ(DownloadProgressPercent(Items({ItemStatus::Downloading}), 1.5), 100u);
    EXPECT_EQ(DownloadProgressPercent(Items({ItemStatus::Downloading, ItemStatus::Downloading}), 0.9), 0u);
    EXPECT_EQ(DownloadProgressPercent(Items({ItemStatus::Downloading, ItemStatus::New}, 15, 100), 0.9), 15u);
    // Five times what is neither installed nor skipped.
    EXPECT_EQ(RequiredDiskSpace(Items({ItemStatus::Downloaded, ItemStatus::Installed, ItemStatus::Skipped,
                                       ItemStatus::InstallFailed}, 0, 100'000'000)), 1'000'000'000u);
}

TEST(InstallerDecisions, ExitStatesZeroAndNineSucceedFourMeansTheProductRunsAndTheOthersFail) {
    EXPECT_EQ(OutcomeOfExitState(ExitStates::Success), InstallerOutcome::Succeeded);
    EXPECT_EQ(OutcomeOfExitState(ExitStates::UnnamedSuccess), InstallerOutcome::Succeeded);
    EXPECT_EQ(OutcomeOfExitState(ExitStates::ProductStartedOnReinstall), InstallerOutcome::ProductRunning);
    for (ExitState failed : {-1, 1, 2, 3, 5, 6, 7, 8}) EXPECT_EQ(OutcomeOfExitState(failed), InstallerOutcome::Failed);
    // The retry pop-up names the installer's error; none for a failed download or a success without a product.
    InstallerItem item;
    EXPECT_EQ(RetryPopupExitState(item), ExitStates::NotReported);
    item.executor = std::make_unique<EndedExecutor>(ExitStates::InstallerError);
    EXPECT_EQ(RetryPopupExitState(item), ExitStates::InstallerError);
    item.executor = std::make_unique<EndedExecutor>(ExitStates::UnnamedSuccess);
    EXPECT_EQ(RetryPopupExitState(item), ExitStates::NotReported);
}

TEST(InstallerDecisions, TryAgainTakesTheFailedItemsAndTheRunWaitsOnlyForAnAutoLaunchedFirstProduct) {
    EXPECT_EQ(RetryRoadOf(ItemStatus::DownloadFailed), RetryRoad::Download);
    EXPECT_EQ(RetryRoadOf(ItemStatus::InstallFailed), RetryRoad::Install);
    EXPECT_EQ(RetryRoadOf(ItemStatus::Installing), RetryRoad::None);
    InstallerItems items = Items({ItemStatus::Installed, ItemStatus::Installed});
    items[0].installOrder = 1;
    items[0].installArgs = {"/APP_LAUNCH_METHOD=Auto"};
    items[1].installArgs = {"/S", "/APP_LAUNCH_METHOD=auto"};
    EXPECT_EQ(ProductToWaitFor(items), nullptr);   // install order 0 lacks the exact argument
    items[1].installArgs.push_back("/APP_LAUNCH_METHOD=Auto");
    EXPECT_EQ(ProductToWaitFor(items), &items[1]);
}

} // namespace
