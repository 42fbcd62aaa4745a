#pragma once
// The body of an answer on its way from WinHTTP's callbacks to the requesting thread, in batches. The callbacks
// fill a buffer; a full one waits for the requesting thread, and the filling pauses until that thread has
// delivered it and given the buffer back to be filled again. Not synchronised: its owner guards it.
#include <cstddef>
#include <optional>
#include <vector>

namespace Nolvar::Networking::Detail {

class BodyBatches {
public:
    struct Batch {
        std::vector<char> room;  // the buffer; its first `size` bytes hold body bytes
        std::size_t size = 0;
    };

    // A buffer is handed over once it holds this much.
    static constexpr std::size_t kBatchSize = 256 * 1024;

    // Room for `n` more bytes in the buffer being filled; valid until the next call.
    char* reserve(std::size_t n);
    // `n` bytes were written where reserve() pointed. True when that made a full batch: the filling pauses until
    // giveBack().
    bool commit(std::size_t n);

    // The full batch, else (with `partial`) what the buffer being filled holds; an empty batch when neither.
    Batch take(bool partial);
    // A batch take() gave, once delivered: its buffer is filled again. True when the filling had paused for it.
    bool giveBack(Batch batch);

    bool full() const { return m_full.has_value(); }
    // Nothing waits for delivery and nothing is being filled.
    bool empty() const { return !m_full && m_fill.size == 0; }

private:
    Batch m_fill;
    std::optional<Batch> m_full;
    std::vector<char> m_spare;
    bool m_paused = false;
};

} // namespace Nolvar::Networking::Detail
