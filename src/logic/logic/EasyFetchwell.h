#pragma once
// The installer's only contact with the download library: registers each download, checks a finished file and
// turns the library's reports into the download events of the logic's loop.
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "App/Fetchwell/DownloadRetrier.h"
#include "App/Fetchwell/Fetchwell.h"
#include "App/Fetchwell/IRemoteResource.h"
#include "App/Fetchwell/ResourceDescriptor.h"
#include "logic/logic/DownloadFileName.h"
#include "logic/logic/DownloadItem.h"
#include "logic/logic/EventLoop.h"
#include "logic/logic/IInstallerDownloads.h"

namespace Nolvar {

// The library's retry limits and waits; tests shorten them. Once the connection counts as offline the downloads
// give up, so the user hears of it instead of waiting a minute per retry; a connection lost for 20 s, with nothing
// answering, counts as offline.
struct EasyFetchwellOptions {
    App::DownloadRetrier::Params retrier{5, 5, 2, 10, true, std::chrono::seconds(20)};
    App::Fetchwell::RetryWaits retryWaits;
};

class EasyFetchwell : public virtual App::IRemoteResourceEventHandler, public IInstallerDownloads {
public:
    using Options = EasyFetchwellOptions;

    // Starts the library's thread; the library's statistics go to the process-wide tracker.
    explicit EasyFetchwell(std::shared_ptr<EventLoop> loop, Options options = {});
    // Unregisters from every download, aborts the library and stops the loop; posts nothing afterwards.
    ~EasyFetchwell() override;
    EasyFetchwell(const EasyFetchwell&) = delete;
    EasyFetchwell& operator=(const EasyFetchwell&) = delete;

    // Registers one download, or serves it from an earlier download of the same URL. Every item gets an
    // outcome: StartDownload/UpdateProgressDownload then FinishDownload or FailDownload (also for a URL that
    // cannot be parsed or has the wrong extension), except that the failure of an image URL goes only to the
    // item that registered it.
    void download(DownloadItem item) override;
    // Queues the registered download of `url` again, finished or failed; nothing when there is none. The
    // download reports again.
    void retry(const std::string& url) override;

    void onStateChanged(App::IRemoteResource::State state, const App::ResourceDescriptorBundle* bundle) override;

    struct ResourceBundleHolder;

private:
    enum class Outcome { Pending, Finished, Failed };

    ResourceBundleHolder* FindRegistered(const std::string& url);          // under m_mutex
    void ServeFromEarlier(ResourceBundleHolder& earlier, DownloadItem item);  // under m_mutex
    void PostOutcome(ResourceBundleHolder& holder, bool finished);          // under m_mutex

    std::unique_ptr<App::Fetchwell> m_fetchwell;
    std::shared_ptr<EventLoop> m_loop;
    std::mutex m_mutex;
    std::vector<std::unique_ptr<ResourceBundleHolder>> m_holders;   // registration order
    UniqueFileNames m_targets;                                        // targets of m_holders
    bool m_closing = false;
};

// Content check of a finished download by its kind: size against the reported total (not for the
// configuration), then a PNG signature, "MZ", or one complete JSON value at the start of the file.
bool ValidateResource(const DownloadItem& item);

} // namespace Nolvar
