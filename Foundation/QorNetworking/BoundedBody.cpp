#include "QorNetworking/BoundedBody.h"

#include <utility>

namespace Nolvar::Networking {

Options BoundedBody::attachTo(Options options) {
    options.sink = [this](std::string_view chunk) {
        if (m_exceeded) return;
        if (chunk.size() > m_limit - m_text.size()) {
            m_exceeded = true;
            return;
        }
        m_text.append(chunk);
    };
    options.stop = [this, stop = std::move(options.stop)] { return m_exceeded || (stop && stop()); };
    return options;
}

} // namespace Nolvar::Networking
