#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "App/Fetchwell/ActiveState.h"
#include "App/Fetchwell/RemoteResourceEventHandlerCallback.h"
#include "App/Fetchwell/Stubs.h"
#include "QorExecution/TaskQueueImmediate.h"

using namespace Nolvar;
using namespace Nolvar::App;
using State = IRemoteResource::State;

TEST(ResourceNames, UnnamedValuesAreEmptyAndNamedOnesUseTheirTables) {
    EXPECT_EQ(IRemoteResource::statusToString(IRemoteResource::Initial), "");
    EXPECT_EQ(IRemoteResource::statusToString(IRemoteResource::TryAgain), "TryAgain");
    EXPECT_EQ(IRemoteResource::statusToString(static_cast<IRemoteResource::DownloadStatus>(9)), "");
    EXPECT_EQ(IRemoteResource::downloadErrorToString(IRemoteResource::NoError), "");
    EXPECT_EQ(IRemoteResource::downloadErrorToString(IRemoteResource::NoSpaceLeft), "NoSpaceLeft");
    EXPECT_EQ(IRemoteResource::networkErrorToString({0, ""}), "");
    EXPECT_EQ(IRemoteResource::networkErrorToString({17, ""}), "");
    EXPECT_EQ(IRemoteResource::networkErrorToString({8, ""}), "OPERATION_TIMEDOUT");
    EXPECT_EQ(IRemoteResource::networkErrorToString({1001, ""}), "NOT_INITIALIZED");
}

TEST(ResourceNames, DebugStringTruncatesPercentAndNeverPrintsNonFiniteValues) {
    State reset;
    EXPECT_EQ(reset.toDebugString(), "Status: , downloadError: , networkError NOT_INITIALIZED, percent 0%");
    State almost;
    almost.status = IRemoteResource::Downloading;
    almost.percent = 0.999;
    EXPECT_EQ(almost.toDebugString(), "Status: Downloading, downloadError: , networkError NOT_INITIALIZED, percent 99%");
    almost.percent = std::numeric_limits<double>::quiet_NaN();
    EXPECT_NE(almost.toDebugString().find("percent 0%"), std::string::npos);
    almost.percent = std::numeric_limits<double>::infinity();
    EXPECT_NE(almost.toDebugString().find("percent 0%"), std::string::npos);
}

namespace {

struct Recorder {
    std::vector<State> heard;
    ActiveState::Callback callback() {
        return [this](State state) { heard.push_back(state); };
    }
};

std::unique_ptr<ActiveState> MakeState() {
    return std::make_unique<ActiveState>(IEventTracer::TraceRecord{}, std::make_shared<Core::TaskQueueImmediate>(),
                                         std::make_shared<EventTracerStub>());
}

IRemoteResource::NotificationParams Params(std::set<IRemoteResource::DownloadStatus> statuses, double step = 0.01) {
    return {true, std::move(statuses), step};
}

const std::set<IRemoteResource::DownloadStatus> kAll{IRemoteResource::Initial, IRemoteResource::Downloading,
                                                     IRemoteResource::Available, IRemoteResource::TryAgain,
                                                     IRemoteResource::Error};

} // namespace

TEST(ActiveState, ProgressIsAFractionThatIsNeverNaNOrAboveOne) {
    auto state = MakeState();
    state->setProgress(5, 0);
    EXPECT_EQ(state->getState().percent, 0.0);
    state->setProgress(0, 0);
    EXPECT_EQ(state->getState().percent, 0.0);
    state->setProgress(300, 200);
    EXPECT_EQ(state->getState().percent, 1.0);
    state->setProgress(50, 200);
    EXPECT_EQ(state->getState().percent, 0.25);
    EXPECT_EQ(state->getState().status, IRemoteResource::Downloading);
    state->setAvailable();
    EXPECT_EQ(state->getState().done, 200u);
    EXPECT_EQ(state->getState().percent, 1.0);
    state->setError(IRemoteResource::Error, IRemoteResource::GeneralError, {1000, "HTTP status 404"});
    EXPECT_EQ(state->getState().percent, 0.0);
    EXPECT_EQ(state->getState().total, 200u);
    EXPECT_EQ(state->getState().networkError.message, "HTTP status 404");
}

TEST(ActiveState, HandlerHearsOnlyItsStatusesOnceAndProgressInSteps) {
    auto state = MakeState();
    Recorder availableOnly, progress;
    state->registerEventHandler(&availableOnly, availableOnly.callback(), Params({IRemoteResource::Available}));
    state->registerEventHandler(&progress, progress.callback(), Params(kAll));

    state->setProgress(0, 1000);    // status change: delivered
    state->setProgress(5, 1000);    // 0.005: below the step
    state->setProgress(10, 1000);   // 0.01: delivered
    state->setProgress(15, 1000);   // 0.015 - 0.01 below the step
    state->setAvailable();
    state->checkAllNotifications();
    state->checkAllNotifications();

    ASSERT_EQ(availableOnly.heard.size(), 1u);
    EXPECT_EQ(availableOnly.heard[0].status, IRemoteResource::Available);
    ASSERT_EQ(progress.heard.size(), 3u);
    EXPECT_EQ(progress.heard[0].done, 0u);
    EXPECT_EQ(progress.heard[1].done, 10u);
    EXPECT_EQ(progress.heard[2].status, IRemoteResource::Available);
}

TEST(ActiveState, NoProgressNotificationsWhenNotAskedAndAFirstCheckDeliversTheCurrentState) {
    auto state = MakeState();
    state->setProgress(0, 100);
    Recorder quiet;
    state->registerEventHandler(&quiet, quiet.callback(), {false, kAll, 0.01});
    state->registerEventHandler(&quiet, [](State) { FAIL() << "a second registration replaced the first"; },
                                Params(kAll));
    state->checkAllNotifications();
    state->setProgress(50, 100);
    state->setError(IRemoteResource::TryAgain, IRemoteResource::InternetConnectionLost, {8, "timed out"});
    state->setError(IRemoteResource::TryAgain, IRemoteResource::InternetConnectionLost, {8, "timed out"});
    ASSERT_EQ(quiet.heard.size(), 2u);
    EXPECT_EQ(quiet.heard[0].status, IRemoteResource::Downloading);
    EXPECT_EQ(quiet.heard[1].status, IRemoteResource::TryAgain);

    state->unregisterEventHandler(&quiet);
    state->setAvailable();
    EXPECT_EQ(quiet.heard.size(), 2u);
}

namespace {

struct Tree {
    std::unique_ptr<ActiveState> parent = MakeState();
    std::unique_ptr<ActiveState> a = MakeState();
    std::unique_ptr<ActiveState> b = MakeState();
    Tree() {
        ActiveState::linkToParent(parent.get(), a.get());
        ActiveState::linkToParent(parent.get(), b.get());
    }
};

} // namespace

TEST(ActiveState, ParentAggregatesItsChildren) {
    struct Case {
        IRemoteResource::DownloadStatus a, b, expected;
    };
    const Case cases[] = {
        {IRemoteResource::Available, IRemoteResource::Downloading, IRemoteResource::Downloading},
        {IRemoteResource::Available, IRemoteResource::TryAgain, IRemoteResource::TryAgain},
        {IRemoteResource::Available, IRemoteResource::Available, IRemoteResource::Available},
        {IRemoteResource::TryAgain, IRemoteResource::Error, IRemoteResource::Error},
        {IRemoteResource::Initial, IRemoteResource::Initial, IRemoteResource::Initial},
        {IRemoteResource::Available, IRemoteResource::Initial, IRemoteResource::Downloading},
    };
    auto apply = [](ActiveState& state, IRemoteResource::DownloadStatus status) {
        if (status == IRemoteResource::Available)
            state.setAvailable();
        else if (status == IRemoteResource::Downloading)
            state.setProgress(1, 2);
        else if (status != IRemoteResource::Initial)
            state.setError(status, IRemoteResource::GeneralError, {1, ""});
    };
    for (const auto& c : cases) {
        Tree tree;
        apply(*tree.a, c.a);
        apply(*tree.b, c.b);
        EXPECT_EQ(tree.parent->getState().status, c.expected) << c.a << "+" << c.b;
    }

    Tree half;
    half.a->setAvailable();
    half.b->setProgress(0, 10);
    EXPECT_DOUBLE_EQ(half.parent->getState().percent, 0.5);
}

TEST(ActiveState, ParentDownloadErrorFollowsItsPrecedence) {
    using E = IRemoteResource::DownloadError;
    struct Case {
        E a, b, expected;
    };
    const Case cases[] = {
        {IRemoteResource::NoError, IRemoteResource::NoSpaceLeft, IRemoteResource::GeneralError},
        {IRemoteResource::Corrupted, IRemoteResource::Cancelled, IRemoteResource::Cancelled},
        {IRemoteResource::Corrupted, IRemoteResource::InternetConnectionLost, IRemoteResource::InternetConnectionLost},
        {IRemoteResource::Corrupted, IRemoteResource::GeneralError, IRemoteResource::Corrupted},
    };
    for (const auto& c : cases) {
        Tree tree;
        tree.a->setError(IRemoteResource::Error, c.a, {1, ""});
        tree.b->setError(IRemoteResource::Error, c.b, {1, ""});
        EXPECT_EQ(tree.parent->getState().downloadError, c.expected) << c.a << "+" << c.b;
    }
}

TEST(ActiveState, OneChildIsCopiedWholeAndASharedChildNotifiesEveryParent) {
    auto first = MakeState(), second = MakeState(), item = MakeState();
    ActiveState::linkToParent(first.get(), item.get());
    ActiveState::linkToParent(second.get(), item.get());
    Recorder one, two;
    first->registerEventHandler(&one, one.callback(), Params(kAll));
    second->registerEventHandler(&two, two.callback(), Params(kAll));
    item->setError(IRemoteResource::TryAgain, IRemoteResource::InternetConnectionLost, {8, "timed out"});
    ASSERT_EQ(one.heard.size(), 1u);
    ASSERT_EQ(two.heard.size(), 1u);
    EXPECT_EQ(one.heard[0], item->getState());
    EXPECT_EQ(second->getState(), item->getState());
}

TEST(ActiveState, HandlerUnregisteredBeforeItsCallbackRunsIsNotCalled) {
    // A queue that holds callbacks until the test runs them.
    struct HeldQueue : Core::TaskQueueImmediate {
        std::vector<Core::Task> held;
        void addTask(Core::Task task, int) override { held.push_back(std::move(task)); }
    };
    auto queue = std::make_shared<HeldQueue>();
    ActiveState state(IEventTracer::TraceRecord{}, queue, std::make_shared<EventTracerStub>());
    Recorder gone;
    state.registerEventHandler(&gone, gone.callback(), Params(kAll));
    state.setAvailable();
    ASSERT_EQ(queue->held.size(), 1u);
    state.unregisterEventHandler(&gone);
    queue->held[0]();
    EXPECT_TRUE(gone.heard.empty());
}

namespace {

struct FakeResource : IRemoteResource {
    std::vector<IRemoteResourceEventHandler*> registered, unregistered;
    void schedule(SchedulePriority, ScheduleOrder) override {}
    bool cancel() override { return false; }
    State getState() const override { return {}; }
    const ResourceDescriptorBundle* getDescriptorBundle() const override { return nullptr; }
    void registerEventHandler(IRemoteResourceEventHandler* handler, const NotificationParams&) override {
        registered.push_back(handler);
    }
    void unregisterEventHandler(IRemoteResourceEventHandler* handler) override { unregistered.push_back(handler); }
};

} // namespace

TEST(RemoteResourceEventHandlerCallback, ForwardsAndUnregistersFromEveryResourceWhenDestroyed) {
    FakeResource first, second;
    std::vector<State> heard;
    {
        RemoteResourceEventHandlerCallback handler;
        handler.setCallback(RemoteResourceEventHandlerCallback::StateCallback([&](State s) { heard.push_back(s); }));
        handler.registerWithin(&first);
        handler.registerWithin(&second);
        handler.onStateChanged(State{}, nullptr);
        ASSERT_EQ(first.registered.size(), 1u);
        EXPECT_EQ(first.registered[0], &handler);
    }
    EXPECT_EQ(heard.size(), 1u);
    EXPECT_EQ(first.unregistered.size(), 1u);
    EXPECT_EQ(second.unregistered.size(), 1u);
}

TEST(RemoteResourceEventHandlerCallback, CopyAssignmentLeavesNoRegistrationBehind) {
    FakeResource old, other;
    RemoteResourceEventHandlerCallback source;
    source.registerWithin(&other);
    {
        RemoteResourceEventHandlerCallback target;
        target.registerWithin(&old);
        target = source;
    }
    // Every registration of the destroyed target was taken back.
    ASSERT_EQ(old.registered.size(), 1u);
    ASSERT_EQ(old.unregistered.size(), 1u);
    EXPECT_EQ(old.unregistered[0], old.registered[0]);
}
