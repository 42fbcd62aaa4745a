#include <vector>

#include <gtest/gtest.h>

#include "App/Fetchwell/DownloadRetrier.h"
#include "App/Fetchwell/NetworkStateEmulator.h"
#include "testing/TempFolder.h"

using namespace Nolvar;
using namespace Nolvar::App;

namespace {

struct CountingResource : ISchedulableResource {
    int scheduled = 0;
    void schedule(SchedulePriority priority, ScheduleOrder order) override {
        EXPECT_EQ(priority, 1);
        EXPECT_EQ(order, 0);
        ++scheduled;
    }
    bool cancel() override { return false; }
};

int AttemptsUntilFinal(DownloadRetrier& retrier, ISchedulableResource& resource, IRemoteResource::DownloadError error) {
    int failures = 0;
    for (;;) {
        ++failures;
        if (retrier.downloadFinished(&resource, error)) return failures;
        if (failures > 100) return -1;
    }
}

} // namespace

TEST(DownloadRetrier, RetryLimitsDependOnTheError) {
    {
        DownloadRetrier installer({5, 5, 2, 10});
        CountingResource resource;
        EXPECT_EQ(AttemptsUntilFinal(installer, resource, IRemoteResource::GeneralError), 6);
    }
    {
        DownloadRetrier library(DownloadRetrier::Params{});
        CountingResource general, lost;
        EXPECT_EQ(AttemptsUntilFinal(library, general, IRemoteResource::GeneralError), 2);
        EXPECT_EQ(AttemptsUntilFinal(library, lost, IRemoteResource::InternetConnectionLost), 21);
    }
    {
        DownloadRetrier retrier({5, 5, 2, 10});
        CountingResource resource;
        EXPECT_TRUE(retrier.downloadFinished(&resource, IRemoteResource::Cancelled));
        EXPECT_TRUE(retrier.downloadFinished(&resource, IRemoteResource::NoSpaceLeft));
        EXPECT_TRUE(retrier.downloadFinished(&resource, IRemoteResource::NoError));
        EXPECT_EQ(retrier.check(), IDownloadRetrier::NothingToRetry);
    }
}

TEST(DownloadRetrier, ConsecutiveRetriesMakeTheConnectionUnstableThenOffline) {
    DownloadRetrier retrier({100, 100, 2, 10});
    CountingResource resource;
    std::vector<IDownloadRetrier::Result> results;
    for (int retry = 1; retry <= 12; ++retry) {
        ASSERT_FALSE(retrier.downloadFinished(&resource, IRemoteResource::GeneralError));
        IDownloadRetrier::Result result;
        int postponed = 0;
        while ((result = retrier.check()) == IDownloadRetrier::Postponed) ++postponed;
        ASSERT_EQ(result, IDownloadRetrier::Retried);
        EXPECT_EQ(resource.scheduled, retry);
        // Retries 1-3 run at once (the third makes the state Unstable); later ones are postponed once each.
        EXPECT_EQ(postponed, retry <= 3 ? 0 : 1) << "retry " << retry;
        const auto expected = retry <= 2    ? IDownloadRetrier::Online
                              : retry <= 10 ? IDownloadRetrier::Unstable
                                            : IDownloadRetrier::Offline;
        EXPECT_EQ(retrier.getState(), expected) << "retry " << retry;
    }
    CountingResource other;
    retrier.downloadFinished(&other, IRemoteResource::NoError);
    EXPECT_EQ(retrier.getState(), IDownloadRetrier::Online);
}

TEST(DownloadRetrier, GivingUpWhenOfflineEndsEveryQueuedResourceAtOnceUntilASuccess) {
    DownloadRetrier retrier({5, 5, 2, 10, true});
    std::vector<CountingResource> resources(5);
    for (auto& resource : resources) ASSERT_FALSE(retrier.downloadFinished(&resource, IRemoteResource::GeneralError));
    // Ten retries in turn, paced as usual; the eleventh makes the state Offline and is the last try of its resource.
    int retries = 0;
    int postponed = 0;
    while (retrier.getState() != IDownloadRetrier::Offline) {
        const auto result = retrier.check();
        ASSERT_NE(result, IDownloadRetrier::NothingToRetry);
        if (result == IDownloadRetrier::Postponed) {
            ++postponed;
            continue;
        }
        auto& retried = resources[retries++ % resources.size()];
        if (retrier.getState() != IDownloadRetrier::Offline) {
            ASSERT_FALSE(retrier.downloadFinished(&retried, IRemoteResource::GeneralError));
        }
    }
    EXPECT_EQ(retries, 11);
    EXPECT_EQ(postponed, 8);
    // Offline: the other four are tried once more without a wait, and every failure is final.
    EXPECT_TRUE(retrier.downloadFinished(&resources[0], IRemoteResource::GeneralError));
    for (int i = 1; i < 5; ++i) {
        ASSERT_EQ(retrier.check(), IDownloadRetrier::Retried) << i;
        EXPECT_TRUE(retrier.downloadFinished(&resources[i], IRemoteResource::InternetConnectionLost)) << i;
    }
    EXPECT_EQ(retrier.check(), IDownloadRetrier::NothingToRetry);
    // A success anywhere brings the retries back.
    CountingResource other;
    EXPECT_TRUE(retrier.downloadFinished(&other, IRemoteResource::NoError));
    EXPECT_FALSE(retrier.downloadFinished(&other, IRemoteResource::GeneralError));
}

TEST(DownloadRetrier, DropsAQueuedResourceThatSucceededMeanwhile) {
    DownloadRetrier retrier({5, 5, 2, 10});
    CountingResource resource;
    EXPECT_FALSE(retrier.downloadFinished(&resource, IRemoteResource::GeneralError));
    EXPECT_TRUE(retrier.downloadFinished(&resource, IRemoteResource::NoError));
    EXPECT_EQ(retrier.check(), IDownloadRetrier::NothingToRetry);
    EXPECT_EQ(resource.scheduled, 0);
}

TEST(NetworkStateEmulator, OfflineWhileTheMarkerFileExists) {
    Testing::TempFolder folder(L"netsetter-marker-Ж-");
    const ioPath marker = (folder / L"offline марker").wstring();
    NetworkStateEmulator emulator(marker);
    EXPECT_EQ(emulator.getState(), INetworkStateChecker::Online);
    Testing::WriteWholeFile(folder / L"offline марker", "");
    EXPECT_EQ(emulator.getState(), INetworkStateChecker::Offline);
    std::filesystem::remove(folder / L"offline марker");
    EXPECT_EQ(emulator.getState(), INetworkStateChecker::Online);
    EXPECT_EQ(NetworkStateEmulator(ioPath()).getState(), INetworkStateChecker::Online);
}
