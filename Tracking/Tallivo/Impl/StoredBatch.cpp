#include "Tracking/Tallivo/Impl/StoredBatch.h"

#include <stdexcept>

#include <glog/logging.h>

#include "Tracking/Tallivo/Impl/Storage.h"

namespace Nolvar::Tracking::Instant {

StoredBatch::StoredBatch(std::weak_ptr<Storage> storage, std::vector<std::string> texts, std::vector<ioPath> paths)
    : m_storage(std::move(storage)), m_texts(std::move(texts)), m_paths(std::move(paths)) {}

// The failure lines keep their established "SerializedEvents" wording: log readers match on it.
StoredBatch::~StoredBatch() {
    if (m_settled) return;
    try {
        if (auto storage = m_storage.lock()) storage->release(m_paths);
    } catch (const std::exception& e) {
        LOG(ERROR) << "~SerializedEvents failed, error: " << e.what();
    }
}

const std::vector<std::string>& StoredBatch::get() const { return m_texts; }

template <class Settle>
bool StoredBatch::settleOnce(const char* what, Settle settle) {
    if (m_settled) return true;
    try {
        auto storage = m_storage.lock();
        const bool complete = storage ? settle(*storage) : false;
        m_settled = true;
        return complete;
    } catch (const std::exception& e) {
        LOG(ERROR) << "SerializedEvents::" << what << " failed, error: " << e.what();
        return false;
    }
}

bool StoredBatch::commit() {
    return settleOnce("commit", [this](Storage& storage) { return storage.removeAndRelease(m_paths); });
}

bool StoredBatch::setAside() {
    return settleOnce("setAside", [this](Storage& storage) { return storage.setAsideAndRelease(m_paths); });
}

std::unique_ptr<ISerializedEvents> StoredBatch::takeFirst(std::size_t count) {
    if (m_settled || count == 0 || count >= m_texts.size()) throw std::logic_error("no such part of a batch");
    const auto cut = static_cast<std::ptrdiff_t>(count);
    auto first = std::make_unique<StoredBatch>(m_storage,
                                               std::vector<std::string>(m_texts.begin(), m_texts.begin() + cut),
                                               std::vector<ioPath>(m_paths.begin(), m_paths.begin() + cut));
    m_texts.erase(m_texts.begin(), m_texts.begin() + cut);
    m_paths.erase(m_paths.begin(), m_paths.begin() + cut);
    return first;
}

} // namespace Nolvar::Tracking::Instant
