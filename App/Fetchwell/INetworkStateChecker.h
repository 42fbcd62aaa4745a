#pragma once
#include <cstdint>

namespace Nolvar::App {

class INetworkStateChecker {
public:
    enum State : std::int32_t { Online = 0, Offline = 1 };
    virtual ~INetworkStateChecker() = default;
    virtual State getState() const = 0;
};

} // namespace Nolvar::App
