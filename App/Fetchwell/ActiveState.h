#pragma once
// The live state of one resource item or bundle, its observers, and its place in the item/bundle tree.
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "App/Fetchwell/FetchwellApi.h"
#include "App/Fetchwell/IEventTracer.h"
#include "App/Fetchwell/IRemoteResource.h"
#include "QorExecution/ITaskQueue.h"

namespace Nolvar::App {

class FETCHWELL_API ActiveState {
public:
    using State = IRemoteResource::State;
    using Callback = std::function<void(State)>;

    ActiveState(IEventTracer::TraceRecord traceRecord, std::shared_ptr<Core::ITaskQueue> notificationQueue,
                std::shared_ptr<IEventTracer> tracer);
    ActiveState(const ActiveState&) = delete;
    ActiveState& operator=(const ActiveState&) = delete;

    // An existing registration of the handler stays as it is.
    void registerEventHandler(const void* handler, Callback callback, IRemoteResource::NotificationParams params);
    void unregisterEventHandler(const void* handler);

    static void linkToParent(ActiveState* parent, ActiveState* child);

    State getState() const;
    void reset();

    void setProgress(std::uint64_t done, std::uint64_t total);
    void setAvailable();
    void setError(IRemoteResource::DownloadStatus status, IRemoteResource::DownloadError error,
                  const Networking::Error& networkError);
    void checkAllNotifications();

    // A fraction in [0, 1]; 0 when nothing is expected.
    static double progressFraction(std::uint64_t done, std::uint64_t total);

private:
    struct HandlerEntry {
        Callback callback;
        IRemoteResource::NotificationParams params;
        bool delivered = false;
        State snapshot;
    };
    struct Pending {
        ActiveState* owner;
        const void* handler;
        bool progress;
        State state;
    };
    using PendingList = std::vector<Pending>;

    template <class Change>
    void change(Change&& apply);
    void check(PendingList& pending);  // this state locked
    void recomputeFromChildren();      // this state locked
    void deliver(const Pending& pending);

    mutable std::mutex m_mutex;
    std::map<const void*, HandlerEntry> m_handlers;
    std::vector<ActiveState*> m_parents;
    std::map<ActiveState*, State> m_children;
    State m_state;
    IEventTracer::TraceRecord m_traceRecord;
    std::shared_ptr<Core::ITaskQueue> m_notificationQueue;
    std::shared_ptr<IEventTracer> m_tracer;
};

} // namespace Nolvar::App
