#include "QorNetworking/BodyBatches.h"

#include <algorithm>
#include <utility>

namespace Nolvar::Networking::Detail {
namespace {

// A buffer's room: a full batch and the read that ends it.
constexpr std::size_t kRoom = BodyBatches::kBatchSize + BodyBatches::kBatchSize / 4;

} // namespace

char* BodyBatches::reserve(std::size_t n) {
    if (m_fill.room.empty()) m_fill.room = std::move(m_spare);
    if (m_fill.room.size() < m_fill.size + n) m_fill.room.resize(std::max(m_fill.size + n, kRoom));
    return m_fill.room.data() + m_fill.size;
}

bool BodyBatches::commit(std::size_t n) {
    m_fill.size += n;
    if (m_fill.size < kBatchSize) return false;
    m_full = std::exchange(m_fill, {});
    m_paused = true;
    return true;
}

BodyBatches::Batch BodyBatches::take(bool partial) {
    if (m_full) return *std::exchange(m_full, std::nullopt);
    if (partial && m_fill.size > 0) return std::exchange(m_fill, {});
    return {};
}

bool BodyBatches::giveBack(Batch batch) {
    if (m_spare.empty()) m_spare = std::move(batch.room);
    return !m_full && std::exchange(m_paused, false);
}

} // namespace Nolvar::Networking::Detail
