#pragma once
// The body of an answer kept in memory, up to a size: a longer answer ends its request.
#include <atomic>
#include <cstddef>
#include <string>

#include "QorNetworking/Options.h"

namespace Nolvar::Networking {

class BoundedBody {
public:
    explicit BoundedBody(std::size_t limit) : m_limit(limit) {}
    BoundedBody(const BoundedBody&) = delete;
    BoundedBody& operator=(const BoundedBody&) = delete;

    // `options` with a sink that keeps the body here and a stop predicate that also ends the request once the
    // body has grown over the limit (the request then fails with RequestCancelled). This object must outlive
    // the request.
    Options attachTo(Options options);
    // True when the answer was longer than the limit; the kept text is then incomplete.
    bool exceeded() const { return m_exceeded; }
    std::size_t limit() const { return m_limit; }
    const std::string& text() const { return m_text; }

private:
    const std::size_t m_limit;
    std::string m_text;
    std::atomic<bool> m_exceeded{false};
};

} // namespace Nolvar::Networking
