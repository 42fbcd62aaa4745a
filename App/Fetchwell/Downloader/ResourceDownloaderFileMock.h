#pragma once
// Serves resources from a local folder at a limited speed instead of from a server.
#include <cstdint>
#include <memory>

#include "App/Fetchwell/FetchwellApi.h"
#include "App/Fetchwell/IResourceDownloader.h"
#include "QorFilesystem/Path.h"

namespace Nolvar::App {

class FETCHWELL_API ResourceDownloaderFileMock : public IResourceDownloader {
public:
    ResourceDownloaderFileMock(ioPath root, std::int32_t speedKiB);
    ~ResourceDownloaderFileMock() override;
    ResourceDownloaderFileMock(const ResourceDownloaderFileMock&) = delete;
    ResourceDownloaderFileMock& operator=(const ResourceDownloaderFileMock&) = delete;

    ResultTask exec(Task task) override;
    void abort() override;
    std::int64_t requestLastModified(const ResourceDescriptor* descriptor) override;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace Nolvar::App
