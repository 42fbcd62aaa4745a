#include <chrono>
#include <vector>

#include <gtest/gtest.h>

#include "App/Fetchwell/Downloader/ResourceDownloaderFileMock.h"
#include "App/Fetchwell/Fetchwell.h"
#include "App/Fetchwell/Downloader/Throttle.h"
#include "App/Fetchwell/FileUtils.h"
#include "FetchwellClient.h"
#include "testing/TempFolder.h"

using namespace Nolvar;
using namespace Nolvar::App;
using Clock = std::chrono::steady_clock;

namespace {

class FileMock : public ::testing::Test {
protected:
    Testing::TempFolder root{L"netsetter-mock-источник-"};
    Testing::TempFolder target{L"netsetter-mock-цель-"};
    ResourceDescriptor descriptor;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> progress;

    IResourceDownloader::Task task(const std::string& name) {
        descriptor.serverRelativePath = name;
        descriptor.destPath = (target / L"папка" / L"dest.bin").wstring();
        descriptor.tempPath = (target / L"dest.part").wstring();
        IResourceDownloader::Task t;
        t.descriptor = &descriptor;
        t.progress = [this](std::uint64_t done, std::uint64_t total) { progress.emplace_back(done, total); };
        t.isCancelled = [] { return false; };
        return t;
    }
};

} // namespace

TEST_F(FileMock, CopiesInChunksWithProgressAndMovesIntoPlace) {
    const std::string content(300000, 'q');
    Testing::WriteWholeFile(root / L"файл.bin", content);
    ResourceDownloaderFileMock mock(root.path().wstring(), 100000);
    const auto result = mock.exec(task("файл.bin"));
    EXPECT_EQ(result.code, IResourceDownloader::Done);
    EXPECT_EQ(result.error.code, 1001);
    using P = std::pair<std::uint64_t, std::uint64_t>;
    EXPECT_EQ(progress, (std::vector<P>{{0, 300000}, {131072, 300000}, {262144, 300000}}));
    EXPECT_EQ(Testing::ReadWholeFile(target / L"папка" / L"dest.bin"), content);
    EXPECT_FALSE(fileExists(descriptor.tempPath));
}

TEST_F(FileMock, EmptySourceAndMissingSource) {
    Testing::WriteWholeFile(root / L"empty", "");
    ResourceDownloaderFileMock mock(root.path().wstring(), 100);
    EXPECT_EQ(mock.exec(task("empty")).code, IResourceDownloader::Done);
    EXPECT_TRUE(progress.empty());
    EXPECT_TRUE(fileExists(descriptor.destPath));

    Testing::WriteWholeFile(target / L"папка" / L"dest.bin", "earlier");
    EXPECT_EQ(mock.exec(task("missing")).code, IResourceDownloader::Failed);
    EXPECT_EQ(Testing::ReadWholeFile(target / L"папка" / L"dest.bin"), "earlier");
}

TEST_F(FileMock, CancelledOrAbortedTransferIsNotMoved) {
    Testing::WriteWholeFile(root / L"big", std::string(400000, 'x'));
    ResourceDownloaderFileMock mock(root.path().wstring(), 100000);
    auto t = task("big");
    t.isCancelled = [] { return true; };
    EXPECT_EQ(mock.exec(t).code, IResourceDownloader::CancelledOrHandled);
    EXPECT_FALSE(fileExists(descriptor.destPath));
    EXPECT_FALSE(fileExists(descriptor.tempPath));
    mock.abort();
    EXPECT_EQ(mock.exec(task("big")).code, IResourceDownloader::CancelledOrHandled);
}

TEST(Throttle, QuotaIsASliceOfTheSpeedAndPausesStartWithTheTransfer) {
    EXPECT_EQ(Detail::Throttle(100).quota(), 5120u);
    Detail::Throttle throttle(100);
    // Each 131072-byte chunk passes one threshold and pauses once, about 50 ms (the first 40 ms).
    const auto before = Clock::now();
    for (int i = 0; i < 5; ++i) throttle.consumed(131072);
    const auto took = Clock::now() - before;
    EXPECT_GE(took, std::chrono::milliseconds(180));
    EXPECT_LE(took, std::chrono::milliseconds(1000));
}

TEST(FileMockThroughFacade, ServesBundlesFromTheFolderAtItsSpeed) {
    using namespace FetchwellTesting;
    Testing::TempFolder root{L"netsetter-mock-корень-"};
    Testing::TempFolder target{L"netsetter-mock-куда-"};
    Testing::WriteWholeFile(root / L"a.bin", std::string(5 * 131072, 'a'));
    Testing::WriteWholeFile(root / L"b.bin", std::string(1000, 'b'));

    App::Fetchwell fetchwell;
    App::Fetchwell::Dependencies deps;
    deps.downloader = std::make_shared<ResourceDownloaderFileMock>(root.path().wstring(), 100);
    fetchwell.init(ParallelParams(2), deps);
    fetchwell.startEventLoopThread();
    Download a(target, "a.bin", "", "a.bin");
    Download b(target, "b.bin", "", "b.bin");
    const auto before = Clock::now();
    a.start(fetchwell);
    b.start(fetchwell);
    EXPECT_EQ(a.recorder.waitForFinal().status, IRemoteResource::Available);
    EXPECT_EQ(b.recorder.waitForFinal().status, IRemoteResource::Available);
    // One pause of about 50 ms follows each of the five chunks.
    EXPECT_GE(Clock::now() - before, std::chrono::milliseconds(180));
    fetchwell.abort();
    EXPECT_EQ(Testing::ReadWholeFile(target / L"a.bin").size(), 5u * 131072);
    EXPECT_EQ(Testing::ReadWholeFile(target / L"b.bin"), std::string(1000, 'b'));
}
