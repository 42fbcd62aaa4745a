#include "App/Fetchwell/Downloader/ResourceDownloaderFileMock.h"

#include <algorithm>
#include <atomic>
#include <vector>

#include <glog/logging.h>

#include "App/Fetchwell/Downloader/Throttle.h"
#include "App/Fetchwell/FileUtils.h"

namespace Nolvar::App {
namespace {
constexpr std::size_t kChunk = 131072;
} // namespace

struct ResourceDownloaderFileMock::Impl {
    std::atomic<bool> aborted{false};
    ioPath root;
    std::int32_t speedKiB = 0;
};

ResourceDownloaderFileMock::ResourceDownloaderFileMock(ioPath root, std::int32_t speedKiB)
    : m_impl(std::make_unique<Impl>()) {
    m_impl->root = std::move(root);
    m_impl->speedKiB = speedKiB;
}

ResourceDownloaderFileMock::~ResourceDownloaderFileMock() = default;

void ResourceDownloaderFileMock::abort() { m_impl->aborted.store(true); }

IResourceDownloader::ResultTask ResourceDownloaderFileMock::exec(Task task) {
    const ResourceDescriptor& descriptor = *task.descriptor;
    const Networking::Error notInitialized{Networking::Error::NotInitialized, ""};

    TemporaryFile temporary(descriptor.tempPath, descriptor.destPath);
    if (!temporary) return {Failed, notInitialized};
    auto output = createOutputFile(descriptor.tempPath);
    if (!output) return {Failed, notInitialized};
    std::vector<std::uint8_t> content;
    if (!readWholeFileToBuffer(m_impl->root / Core::PathFromUtf8(descriptor.serverRelativePath), content))
        return {Failed, notInitialized};

    bool cancelled = false;
    Detail::Throttle throttle(m_impl->speedKiB);
    for (std::size_t offset = 0; offset < content.size(); offset += kChunk) {
        if (task.progress) task.progress(offset, content.size());
        const std::size_t n = std::min(kChunk, content.size() - offset);
        output->write(content.data() + offset, n);
        if (m_impl->aborted.load() || (task.isCancelled && task.isCancelled())) {
            cancelled = true;
            break;
        }
        throttle.consumed(n);
    }
    output->close();
    if (cancelled) {
        LOG(INFO) << "request=" << descriptor.serverRelativePath << " was cancelled.";
        return {CancelledOrHandled, notInitialized};
    }
    return {temporary.moveToDest() ? Done : Failed, notInitialized};
}

std::int64_t ResourceDownloaderFileMock::requestLastModified(const ResourceDescriptor* descriptor) {
    return fileLastModifiedTime(m_impl->root / Core::PathFromUtf8(descriptor->serverRelativePath));
}

} // namespace Nolvar::App
