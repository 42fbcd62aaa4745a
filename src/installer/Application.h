#pragma once
// The application object: one installer logic with the real window, run once.
#include <cstdint>
#include <memory>

namespace Nolvar {

class IApplication {
public:
    virtual ~IApplication() = default;
    // 0 when the logic's run ended normally (also after a cancel or a give-up), 1 when an exception ended it.
    virtual std::int32_t Run() = 0;
};

// Constructs the installer logic with its window.
std::unique_ptr<IApplication> CreateApplication();

} // namespace Nolvar
