#include <chrono>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "App/Fetchwell/DownloadRetrier.h"
#include "App/Fetchwell/NetworkStateEmulator.h"
#include "testing/TempFolder.h"

using namespace Nolvar;
using namespace Nolvar::App;

namespace {

using namespace std::chrono_literals;

struct CountingResource : ISchedulableResource {
    int scheduled = 0;
    bool optional = false;
    void schedule(SchedulePriority priority, ScheduleOrder order) override {
        EXPECT_EQ(priority, 1);
        EXPECT_EQ(order, 0);
        ++scheduled;
    }
    bool cancel() override { return false; }
    bool countsTowardsConnectionState() const override { return !optional; }
};

// Fails the resource and retries it; how many checks postponed the retry.
int FailAndRetry(DownloadRetrier& retrier, CountingResource& resource, IRemoteResource::DownloadError error) {
    EXPECT_FALSE(retrier.downloadFinished(&resource, error));
    int postponed = 0;
    IDownloadRetrier::Result result;
    while ((result = retrier.check()) == IDownloadRetrier::Postponed) ++postponed;
    EXPECT_EQ(result, IDownloadRetrier::Retried);
    return postponed;
}

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

// Every retry counts towards Unstable; only retries after a lost connection count towards Offline, since an answer
// of any kind (an HTTP error too) shows that the network works.
TEST(DownloadRetrier, ConsecutiveRetriesMakeTheConnectionUnstableAndLostConnectionsOffline) {
    for (const auto error : {IRemoteResource::InternetConnectionLost, IRemoteResource::GeneralError}) {
        DownloadRetrier retrier({100, 100, 2, 10});
        CountingResource resource;
        for (int retry = 1; retry <= 12; ++retry) {
            const int postponed = FailAndRetry(retrier, resource, error);
            EXPECT_EQ(resource.scheduled, retry);
            // Retries 1-3 run at once (the third makes the state Unstable); later ones are postponed once each.
            EXPECT_EQ(postponed, retry <= 3 ? 0 : 1) << "retry " << retry;
            const bool offline = retry > 10 && error == IRemoteResource::InternetConnectionLost;
            const auto expected = retry <= 2 ? IDownloadRetrier::Online
                                  : offline  ? IDownloadRetrier::Offline
                                             : IDownloadRetrier::Unstable;
            EXPECT_EQ(retrier.getState(), expected) << "retry " << retry << ", error " << error;
        }
        CountingResource other;
        retrier.downloadFinished(&other, IRemoteResource::NoError);
        EXPECT_EQ(retrier.getState(), IDownloadRetrier::Online);
    }
}

// A network that swallows requests fails each try only after its time-out: the time since the connection was
// first lost, not the few retries, makes it Offline. Anything that answers meanwhile starts the clock again.
TEST(DownloadRetrier, AConnectionLostForTheOfflineTimeIsOfflineUnlessTheNetworkAnsweredMeanwhile) {
    constexpr auto kOfflineAfter = 300ms;
    DownloadRetrier retrier({5, 5, 2, 10, true, kOfflineAfter});
    CountingResource resource, other;
    FailAndRetry(retrier, resource, IRemoteResource::InternetConnectionLost);
    std::this_thread::sleep_for(kOfflineAfter / 2);
    FailAndRetry(retrier, resource, IRemoteResource::InternetConnectionLost);
    EXPECT_EQ(retrier.getState(), IDownloadRetrier::Online);
    // The bytes of another download arrive: the time runs from the next lost connection.
    std::this_thread::sleep_for(kOfflineAfter);
    retrier.networkAnswered(&other);
    FailAndRetry(retrier, resource, IRemoteResource::InternetConnectionLost);
    EXPECT_EQ(retrier.getState(), IDownloadRetrier::Unstable);
    // An HTTP error answer is no lost connection: again the time runs from the next one.
    std::this_thread::sleep_for(kOfflineAfter + 50ms);
    FailAndRetry(retrier, other, IRemoteResource::GeneralError);
    FailAndRetry(retrier, resource, IRemoteResource::InternetConnectionLost);
    EXPECT_EQ(retrier.getState(), IDownloadRetrier::Unstable);
    // Lost again the offline time later, with nothing answering: Offline, and that failure is final.
    std::this_thread::sleep_for(kOfflineAfter + 50ms);
    EXPECT_TRUE(retrier.downloadFinished(&resource, IRemoteResource::InternetConnectionLost));
    EXPECT_EQ(retrier.getState(), IDownloadRetrier::Offline);
    // An answer shows the network again: retries go on, paced.
    EXPECT_EQ(FailAndRetry(retrier, other, IRemoteResource::GeneralError), 1);
    EXPECT_EQ(retrier.getState(), IDownloadRetrier::Unstable);
}

// An optional resource (an image on a host of its own) may fail as often as it likes: the others keep their pace and
// their tries, and its own retries never wait.
TEST(DownloadRetrier, AnOptionalResourceIsLeftOutOfTheConnectionState) {
    DownloadRetrier retrier({5, 5, 2, 10, true, 300ms});
    std::vector<CountingResource> images(4);
    for (auto& image : images) image.optional = true;
    for (int round = 0; round < 5; ++round) {
        const auto error = round % 2 ? IRemoteResource::GeneralError : IRemoteResource::InternetConnectionLost;
        for (auto& image : images) EXPECT_EQ(FailAndRetry(retrier, image, error), 0);
        std::this_thread::sleep_for(100ms);
    }
    for (auto& image : images) {
        EXPECT_EQ(image.scheduled, 5);
        EXPECT_TRUE(retrier.downloadFinished(&image, IRemoteResource::InternetConnectionLost));
    }
    EXPECT_EQ(retrier.getState(), IDownloadRetrier::Online);
    // A product that needs five retries has them, the first two at once as ever.
    CountingResource product;
    for (int retry = 1; retry <= 5; ++retry)
        EXPECT_EQ(FailAndRetry(retrier, product, IRemoteResource::GeneralError), retry <= 3 ? 0 : 1) << retry;
    EXPECT_TRUE(retrier.downloadFinished(&product, IRemoteResource::NoError));
}

TEST(DownloadRetrier, GivingUpWhenOfflineEndsEveryQueuedResourceAtOnceUntilASuccess) {
    DownloadRetrier retrier({5, 5, 2, 10, true});
    std::vector<CountingResource> resources(5);
    for (auto& resource : resources)
        ASSERT_FALSE(retrier.downloadFinished(&resource, IRemoteResource::InternetConnectionLost));
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
            ASSERT_FALSE(retrier.downloadFinished(&retried, IRemoteResource::InternetConnectionLost));
        }
    }
    EXPECT_EQ(retries, 11);
    EXPECT_EQ(postponed, 8);
    // Offline: the other four are tried once more without a wait, and every failure is final.
    EXPECT_TRUE(retrier.downloadFinished(&resources[0], IRemoteResource::InternetConnectionLost));
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
