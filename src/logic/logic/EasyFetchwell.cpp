#include "logic/logic/EasyFetchwell.h"

#include <algorithm>
#include <array>
#include <exception>
#include <fstream>
#include <utility>

#include <boost/filesystem/operations.hpp>
#include <glog/logging.h>
#include <nlohmann/json.hpp>

#include "App/Fetchwell/IRemoteResourceScheduler.h"
#include "Tracking/Tallivo/Tracker.h"
#include "logic/logic/Events.h"
#include "utils/UrlUtils.h"
#include "utils/WorkingFolder.h"

namespace Nolvar {

struct EasyFetchwell::ResourceBundleHolder {
    std::shared_ptr<App::ResourceDescriptor> descriptor;
    std::shared_ptr<App::ResourceDescriptorBundle> bundle;
    App::IRemoteResource* resource = nullptr;
    DownloadItem item;
    Outcome outcome = Outcome::Pending;
    // Items of the same URL served by this download; each gets this download's outcome.
    std::vector<DownloadItem> waiting;
};

namespace {

constexpr App::SchedulePriority kRegisterPriority = 2;
constexpr App::SchedulePriority kRetryPriority = 1;

App::IRemoteResource::NotificationParams Notifications() {
    App::IRemoteResource::NotificationParams params;
    params.progressNotifications = true;
    params.statuses = {App::IRemoteResource::Initial, App::IRemoteResource::Downloading,
                       App::IRemoteResource::Available, App::IRemoteResource::TryAgain,
                       App::IRemoteResource::Error};
    params.progressStep = 0.01;
    return params;
}

bool SizeMatches(const DownloadItem& item) {
    boost::system::error_code ec;
    const auto size = boost::filesystem::file_size(item.targetPath, ec);
    return ec || size == item.state.total;
}

template <std::size_t N>
bool StartsWith(const ioPath& file, const std::array<unsigned char, N>& signature) {
    std::ifstream in(file.wstring().c_str(), std::ios::binary);
    if (!in) return false;
    std::array<char, N> buffer{};
    in.read(buffer.data(), N);
    return std::equal(buffer.begin(), buffer.end(), signature.begin(),
                      [](char a, unsigned char b) { return static_cast<unsigned char>(a) == b; });
}

// Accepts every value without keeping any: checking a file of any size or depth costs no memory.
class JsonSyntaxCheck : public nlohmann::json_sax<nlohmann::json> {
public:
    bool null() override { return true; }
    bool boolean(bool) override { return true; }
    bool number_integer(number_integer_t) override { return true; }
    bool number_unsigned(number_unsigned_t) override { return true; }
    bool number_float(number_float_t, const string_t&) override { return true; }
    bool string(string_t&) override { return true; }
    bool binary(binary_t&) override { return true; }
    bool start_object(std::size_t) override { return true; }
    bool key(string_t&) override { return true; }
    bool end_object() override { return true; }
    bool start_array(std::size_t) override { return true; }
    bool end_array() override { return true; }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override { return false; }
};

// One complete JSON value at the start of the file; what follows it is not examined.
bool HoldsJson(const ioPath& file) {
    std::ifstream in(file.wstring().c_str(), std::ios::binary);
    if (!in) return false;
    JsonSyntaxCheck check;
    try {
        return nlohmann::json::sax_parse(in, &check, nlohmann::json::input_format_t::json, false);
    } catch (const std::exception&) {
        return false;
    }
}

// A failed image is reported to the item that registered its URL only; any other item waiting on the URL hears
// the failure too, since a product left waiting would hold up the run.
bool HearsTheFailureOfItsUrl(const DownloadItem& twin) { return twin.kind != DownloadKind::SplashImage; }

std::unique_ptr<EasyFetchwell::ResourceBundleHolder> MakeHolder(const DownloadItem& item) {
    auto descriptor = std::make_shared<App::ResourceDescriptor>();
    descriptor->installerOwned = true;
    descriptor->path = item.targetPath;
    descriptor->tempPath = ioPath(item.targetPath.wstring() + L".tmp");
    descriptor->destPath = item.targetPath;
    descriptor->serverRelativePath = item.url;
    descriptor->postProcessing = 0;
    descriptor->updatePolicy = App::ResourceDescriptor::UpdateIfInvalid;
    descriptor->existingFileCheck = 0;
    // The window does without an image: a failed one says nothing about the connection the products need.
    descriptor->optional = item.kind == DownloadKind::SplashImage;
    auto holder = std::make_unique<EasyFetchwell::ResourceBundleHolder>();
    holder->descriptor = descriptor;
    holder->bundle = std::make_shared<App::ResourceDescriptorBundle>();
    holder->bundle->insert(descriptor.get());
    holder->item = item;
    return holder;
}

} // namespace

bool ValidateResource(const DownloadItem& item) {
    static constexpr std::array<unsigned char, 8> kPng = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
    static constexpr std::array<unsigned char, 2> kMz = {'M', 'Z'};
    switch (item.kind) {
    case DownloadKind::SplashImage:
        return SizeMatches(item) && StartsWith(item.targetPath, kPng);
    case DownloadKind::ProductInstaller:
        return SizeMatches(item) && StartsWith(item.targetPath, kMz);
    case DownloadKind::Configuration:
        return HoldsJson(item.targetPath);
    default:
        return false;
    }
}

EasyFetchwell::EasyFetchwell(std::shared_ptr<EventLoop> loop, Options options)
    : m_fetchwell(std::make_unique<App::Fetchwell>(options.retryWaits)), m_loop(std::move(loop)) {
    App::Fetchwell::Params params;
    params.useParallelExecutor = true;
    params.threadCount = App::Fetchwell::getOptimalThreadCount();
    params.reservedFirst = true;
    params.reservedSecond = false;
    App::Fetchwell::Dependencies dependencies;
    dependencies.downloadRetrier = std::make_shared<App::DownloadRetrier>(options.retrier);
    dependencies.applicationTracker = Tracking::Instant::Tracker::GetInstance();
    m_fetchwell->init(params, dependencies);
    m_fetchwell->startEventLoopThread();
}

EasyFetchwell::~EasyFetchwell() {
    std::vector<App::IRemoteResource*> resources;
    {
        std::lock_guard lock(m_mutex);
        m_closing = true;
        for (const auto& holder : m_holders)
            if (holder->resource) resources.push_back(holder->resource);
    }
    for (App::IRemoteResource* resource : resources) resource->unregisterEventHandler(this);
    m_fetchwell->abort();
    m_loop->stop();
    // The library refers to the descriptors by address: it goes before them.
    m_fetchwell.reset();
}

EasyFetchwell::ResourceBundleHolder* EasyFetchwell::FindRegistered(const std::string& url) {
    for (const auto& holder : m_holders)
        if (holder->item.url == url && !holder->item.id.empty()) return holder.get();
    return nullptr;
}

void EasyFetchwell::download(DownloadItem item) {
    bool acceptable = false;
    try {
        acceptable = Util::ValidateResourceByExt(item);
    } catch (const std::exception& e) {
        LOG(WARNING) << "Cannot download '" << item.url << "': " << e.what();
    }
    if (!acceptable) {
        m_loop->post(FailDownload{item});
        return;
    }

    ResourceBundleHolder* holder = nullptr;
    {
        std::lock_guard lock(m_mutex);
        if (ResourceBundleHolder* earlier = FindRegistered(item.url)) {
            ServeFromEarlier(*earlier, std::move(item));
            return;
        }

        if (item.targetPath.empty()) {
            try {
                const ioPath folder = GetWorkingFolder();
                const ioPath name = item.kind == DownloadKind::Configuration
                                        ? ioPath(L"config.json")
                                        : SafeDownloadFileName(GetUrlFileName(item.url), folder);
                item.targetPath = m_targets.Take(folder / name);
            } catch (const std::exception& e) {
                LOG(WARNING) << "No target for '" << item.url << "': " << e.what();
                m_loop->post(FailDownload{item});
                return;
            }
        } else {
            m_targets.MarkTaken(item.targetPath);
        }

        m_holders.push_back(MakeHolder(item));
        holder = m_holders.back().get();
    }

    // The handler is in place before the download is queued, so even a fast download reports its start.
    // The library may call onStateChanged from inside these calls: m_mutex is not held here.
    try {
        const auto scheduler = m_fetchwell->getMainScheduler();
        App::IRemoteResource* resource = scheduler->registerResource(holder->bundle.get());
        {
            std::lock_guard lock(m_mutex);
            holder->resource = resource;
        }
        resource->registerEventHandler(this, Notifications());
        scheduler->registerAutoSchedule(holder->bundle.get(), kRegisterPriority, 0);
    } catch (const std::exception& e) {
        LOG(ERROR) << "Cannot register the download of '" << item.url << "': " << e.what();
        std::lock_guard lock(m_mutex);
        PostOutcome(*holder, false);
    }
}

void EasyFetchwell::retry(const std::string& url) {
    App::IRemoteResource* resource = nullptr;
    {
        std::lock_guard lock(m_mutex);
        for (const auto& holder : m_holders) {
            if (holder->item.url == url && holder->resource) {
                // Items of the same URL asking meanwhile wait for the new outcome.
                holder->outcome = Outcome::Pending;
                resource = holder->resource;
                break;
            }
        }
    }
    if (resource) resource->schedule(kRetryPriority, 0);
}

void EasyFetchwell::ServeFromEarlier(ResourceBundleHolder& earlier, DownloadItem item) {
    item.alreadyRequested = true;
    switch (earlier.outcome) {
    case Outcome::Finished:
        item.targetPath = earlier.item.targetPath;
        item.state = earlier.item.state;
        m_loop->post(FinishDownload{item});
        return;
    case Outcome::Failed:
        if (!HearsTheFailureOfItsUrl(item)) return;
        item.targetPath = earlier.item.targetPath;
        item.state = earlier.item.state;
        earlier.waiting.push_back(item);
        m_loop->post(FailDownload{item});
        return;
    case Outcome::Pending:
        earlier.waiting.push_back(item);
        return;
    }
}

void EasyFetchwell::PostOutcome(ResourceBundleHolder& holder, bool finished) {
    holder.outcome = finished ? Outcome::Finished : Outcome::Failed;
    if (finished)
        m_loop->post(FinishDownload{holder.item});
    else
        m_loop->post(FailDownload{holder.item});
    for (DownloadItem served : holder.waiting) {
        if (!finished && !HearsTheFailureOfItsUrl(served)) continue;
        served.targetPath = holder.item.targetPath;
        served.state = holder.item.state;
        if (finished)
            m_loop->post(FinishDownload{std::move(served)});
        else
            m_loop->post(FailDownload{std::move(served)});
    }
}

void EasyFetchwell::onStateChanged(App::IRemoteResource::State state, const App::ResourceDescriptorBundle* bundle) {
    std::lock_guard lock(m_mutex);
    if (m_closing) return;
    auto found = std::find_if(m_holders.begin(), m_holders.end(),
                              [&](const auto& holder) { return holder->bundle.get() == bundle; });
    if (found == m_holders.end()) return;
    ResourceBundleHolder& holder = **found;
    if (!holder.descriptor->installerOwned || holder.bundle->empty() || !holder.resource) return;

    holder.item.state = state;
    switch (state.status) {
    case App::IRemoteResource::Downloading:
        if (state.percent == 0.0)
            m_loop->post(StartDownload{holder.item});
        else
            m_loop->post(UpdateProgressDownload{holder.item});
        break;
    case App::IRemoteResource::Available: {
        // Every report posts: the logic decides what a late or repeated one changes.
        const bool valid = ValidateResource(holder.item);
        if (!valid) LOG(WARNING) << "Downloaded file failed its check: " << Core::Utf8FromPath(holder.item.targetPath);
        PostOutcome(holder, valid);
        break;
    }
    case App::IRemoteResource::Error:
        PostOutcome(holder, false);
        break;
    default:   // Initial, TryAgain: the library retries by itself
        break;
    }
}

} // namespace Nolvar
