#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "App/Fetchwell/DownloadRetrier.h"
#include "App/Fetchwell/RemoteResourceEventHandlerCallback.h"
#include "App/Fetchwell/RemoteResourceScheduler.h"
#include "App/Fetchwell/Stubs.h"
#include "QorExecution/ParallelExecutor.h"
#include "QorExecution/TaskQueue.h"
#include "QorExecution/TaskQueueImmediate.h"
#include "testing/TempFolder.h"

using namespace Nolvar;
using namespace Nolvar::App;
using namespace std::chrono_literals;
using State = IRemoteResource::State;

namespace {

// A downloader that answers with a scripted code and counts its calls.
struct FakeDownloader : IResourceDownloader {
    std::atomic<int> calls{0};
    std::atomic<int> concurrent{0};
    std::atomic<int> maxConcurrent{0};
    std::atomic<std::int32_t> code{Done};
    std::chrono::milliseconds duration{0};

    ResultTask exec(Task task) override {
        ++calls;
        maxConcurrent = std::max(maxConcurrent.load(), ++concurrent);
        if (task.progress) task.progress(5, 10);
        std::this_thread::sleep_for(duration);
        --concurrent;
        if (task.isCancelled && task.isCancelled()) return {CancelledOrHandled, {15, "cancelled"}};
        return {code.load(), code == Done ? Networking::Error{} : Networking::Error{6, "receive failed"}};
    }
    void abort() override {}
    std::int64_t requestLastModified(const ResourceDescriptor*) override { return 0; }
};

struct ThrowingPostProcessor : IPostProcessor {
    std::int32_t process(const ResourceDescriptor*) override { throw std::runtime_error("post-processor broke"); }
};

// Throws once at the chosen event.
struct ThrowingOnceTracer : IEventTracer {
    mutable std::atomic<int> throwsLeft{0};
    std::atomic<Event> at{ExecScheduled};
    void trace(Event event, const TraceRecord&) const override {
        if (event == at.load() && throwsLeft.fetch_sub(1) > 0) throw std::runtime_error("tracer broke");
    }
};

struct Fixture {
    std::shared_ptr<FakeDownloader> downloader = std::make_shared<FakeDownloader>();
    std::shared_ptr<IEventTracer> tracer = std::make_shared<EventTracerStub>();
    std::shared_ptr<Core::TaskQueue> queue = std::make_shared<Core::TaskQueue>();
    std::shared_ptr<IDownloadRetrier> retrier = std::make_shared<DownloadRetrier>(DownloadRetrier::Params{5, 5, 2, 10});
    std::shared_ptr<IPostProcessor> postProcessor = std::make_shared<PostProcessorStub>();
    std::unique_ptr<RemoteResourceScheduler> scheduler;

    void make() {
        scheduler = std::make_unique<RemoteResourceScheduler>(
            downloader, queue, std::make_shared<Core::TaskQueueImmediate>(), postProcessor,
            std::make_shared<ResourceValidatorStub>(), tracer, retrier,
            std::make_shared<ErrorHandlerStub>(), nullptr);
    }
    Fixture() { make(); }
    int runAll() {
        int n = 0;
        while (queue->execOne()) ++n;
        return n;
    }
};

ResourceDescriptor Descriptor(const std::string& name) {
    ResourceDescriptor d;
    d.serverRelativePath = name;
    d.traceName1 = name;
    return d;
}

} // namespace

TEST(RemoteResourceScheduler, SameBundleGivesTheSameResourceAndSharedItemsNotifyEveryBundle) {
    Fixture f;
    ResourceDescriptor shared = Descriptor("shared"), own = Descriptor("own");
    ResourceDescriptorBundle first{&shared}, second{&shared, &own};
    IRemoteResource* a = f.scheduler->registerResource(&first);
    EXPECT_EQ(f.scheduler->registerResource(&first), a);
    IRemoteResource* b = f.scheduler->registerResource(&second);
    EXPECT_EQ(a->getDescriptorBundle(), &first);

    std::vector<State> heardA, heardB;
    RemoteResourceEventHandlerCallback ha, hb;
    ha.setCallback(RemoteResourceEventHandlerCallback::StateCallback([&](State s) { heardA.push_back(s); }));
    hb.setCallback(RemoteResourceEventHandlerCallback::StateCallback([&](State s) { heardB.push_back(s); }));
    ha.registerWithin(a);  // a registered handler hears the current state at once
    hb.registerWithin(b);
    ASSERT_EQ(heardA.size(), 1u);
    EXPECT_EQ(heardA[0].status, IRemoteResource::Initial);

    f.scheduler->registerAutoSchedule(&first, 2, 0);
    EXPECT_EQ(f.runAll(), 1);
    EXPECT_EQ(f.downloader->calls, 1);
    EXPECT_EQ(a->getState().status, IRemoteResource::Available);
    EXPECT_EQ(heardA.back().status, IRemoteResource::Available);
    EXPECT_EQ(b->getState().status, IRemoteResource::Downloading);  // one of two items is Available
    EXPECT_GE(heardB.size(), 2u);
}

TEST(RemoteResourceScheduler, AutoScheduleQueuesAgainOnlyForSettledItemsOrAHigherPriority) {
    Fixture f;
    ResourceDescriptor d = Descriptor("x");
    ResourceDescriptorBundle bundle{&d};
    f.scheduler->registerAutoSchedule(&bundle, 2, 0);
    f.scheduler->registerAutoSchedule(&bundle, 2, 0);  // still waiting at the same priority
    EXPECT_EQ(f.queue->size(), 1u);
    f.scheduler->registerAutoSchedule(&bundle, 1, 0);
    EXPECT_EQ(f.queue->size(), 1u);
    f.runAll();
    IRemoteResource* r = f.scheduler->registerResource(&bundle);
    EXPECT_EQ(r->getState().status, IRemoteResource::Available);

    f.scheduler->registerAutoSchedule(&bundle, 2, 0);  // Available: reset and scheduled again
    EXPECT_EQ(r->getState().status, IRemoteResource::Initial);
    EXPECT_EQ(f.queue->size(), 1u);
    f.runAll();
    EXPECT_EQ(f.downloader->calls, 2);
}

TEST(RemoteResourceScheduler, ExistingFileWithKeepPolicyIsAvailableAtSchedulingWithoutATask) {
    Fixture f;
    Testing::TempFolder folder;
    Testing::WriteWholeFile(folder / L"present", "x");
    ResourceDescriptor d = Descriptor("present");
    d.path = (folder / L"present").wstring();
    d.existingFileCheck = 1;
    d.updatePolicy = ResourceDescriptor::UpdateNever;
    ResourceDescriptorBundle bundle{&d};
    IRemoteResource* r = f.scheduler->registerAutoSchedule(&bundle, 2, 0);
    EXPECT_EQ(r->getState().status, IRemoteResource::Available);
    EXPECT_EQ(f.queue->size(), 0u);
}

TEST(RemoteResourceScheduler, CancelledWriteFailedAndRetriedItemsEndAsTheirErrorsSay) {
    Fixture f;
    ResourceDescriptor d = Descriptor("c");
    ResourceDescriptorBundle bundle{&d};
    IRemoteResource* r = f.scheduler->registerAutoSchedule(&bundle, 2, 0);
    r->cancel();
    f.runAll();
    EXPECT_EQ(r->getState().status, IRemoteResource::Error);
    EXPECT_EQ(r->getState().downloadError, IRemoteResource::Cancelled);
    EXPECT_EQ(r->getState().networkError.code, 1001);
    EXPECT_EQ(f.downloader->calls, 0);

    f.downloader->code = IResourceDownloader::OutputFailure;
    r->schedule(1, 0);
    f.runAll();
    EXPECT_EQ(r->getState().status, IRemoteResource::Error);
    EXPECT_EQ(r->getState().downloadError, IRemoteResource::NoSpaceLeft);
    EXPECT_EQ(f.retrier->check(), IDownloadRetrier::NothingToRetry);

    f.downloader->code = IResourceDownloader::Failed;
    r->schedule(1, 0);
    f.runAll();
    EXPECT_EQ(r->getState().status, IRemoteResource::TryAgain);
    EXPECT_EQ(r->getState().networkError.code, 6);
    f.downloader->code = IResourceDownloader::Done;
    EXPECT_EQ(f.retrier->check(), IDownloadRetrier::Retried);
    f.runAll();
    EXPECT_EQ(r->getState().status, IRemoteResource::Available);
}

TEST(RemoteResourceScheduler, ExceptionInADownloadTaskEndsTheResourceAsError) {
    Fixture f;
    f.postProcessor = std::make_shared<ThrowingPostProcessor>();
    f.make();
    ResourceDescriptor d = Descriptor("p");
    d.postProcessing = 1;
    ResourceDescriptorBundle bundle{&d};
    IRemoteResource* r = f.scheduler->registerAutoSchedule(&bundle, 2, 0);
    f.runAll();
    const State s = r->getState();
    EXPECT_EQ(s.status, IRemoteResource::Error);
    EXPECT_EQ(s.downloadError, IRemoteResource::GeneralError);
    EXPECT_EQ(s.networkError.message, "post-processor broke");
}

TEST(RemoteResourceScheduler, OneItemNeverRunsTwoDownloadsAtOnce) {
    Fixture f;
    f.downloader->duration = 200ms;
    ResourceDescriptor d = Descriptor("once");
    ResourceDescriptorBundle bundle{&d};
    IRemoteResource* r = f.scheduler->registerAutoSchedule(&bundle, 0, 0);
    f.scheduler->registerAutoSchedule(&bundle, 2, 0);  // a greater priority queues a second task
    EXPECT_EQ(f.queue->size(), 2u);
    {
        Core::ParallelExecutor executor(4);
        executor.execQueue(f.queue);
        for (int i = 0; i < 300 && f.downloader->calls < 2; ++i) std::this_thread::sleep_for(10ms);
        std::this_thread::sleep_for(250ms);
        executor.abort();
    }
    EXPECT_EQ(f.downloader->calls, 2);
    EXPECT_EQ(f.downloader->maxConcurrent, 1);
    EXPECT_EQ(r->getState().status, IRemoteResource::Available);
}

TEST(RemoteResourceScheduler, TracerOrObserverThatThrowsOnceNeverWedgesTheResource) {
    Fixture f;
    auto tracer = std::make_shared<ThrowingOnceTracer>();
    f.tracer = tracer;
    f.make();
    ResourceDescriptor d = Descriptor("x");
    ResourceDescriptorBundle bundle{&d};
    IRemoteResource* resource = f.scheduler->registerResource(&bundle);
    std::atomic<int> observerThrowsLeft{0};
    std::vector<State> heard;
    RemoteResourceEventHandlerCallback handler;
    handler.setCallback(RemoteResourceEventHandlerCallback::StateCallback([&](State s) {
        if (s.status == IRemoteResource::Available && observerThrowsLeft.fetch_sub(1) > 0)
            throw std::runtime_error("observer broke");
        heard.push_back(s);
    }));
    handler.registerWithin(resource);

    int expectedCalls = 0;
    auto scheduleTwice = [&] {
        // The first schedule meets the fault; the second must download again and settle.
        f.scheduler->registerAutoSchedule(&bundle, 2, 0);
        f.runAll();
        f.scheduler->registerAutoSchedule(&bundle, 2, 0);
        f.runAll();
        expectedCalls = f.downloader->calls;
        return resource->getState().status;
    };
    for (auto event : {IEventTracer::ExecScheduled, IEventTracer::Exec, IEventTracer::ExecEnd, IEventTracer::Download,
                       IEventTracer::DownloadEnd, IEventTracer::StatusNotification,
                       IEventTracer::StatusNotificationEnd}) {
        const int before = f.downloader->calls;
        tracer->at = event;
        tracer->throwsLeft = 1;
        EXPECT_EQ(scheduleTwice(), IRemoteResource::Available) << "tracer event " << event;
        EXPECT_GT(expectedCalls, before) << "tracer event " << event;
        EXPECT_LE(tracer->throwsLeft.load(), 0) << "tracer event " << event;
        heard.clear();
    }

    tracer->throwsLeft = 0;
    observerThrowsLeft = 1;
    const int before = f.downloader->calls;
    EXPECT_EQ(scheduleTwice(), IRemoteResource::Available);
    EXPECT_EQ(f.downloader->calls, before + 2);
    ASSERT_FALSE(heard.empty());
    EXPECT_EQ(heard.back().status, IRemoteResource::Available);
}
