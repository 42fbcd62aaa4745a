#pragma once
// Adds parameters to a statistics event; a parameter the event already carries is never replaced.
#include "Tracking/Tallivo/Event.h"

namespace Nolvar {

class IDataFiller {
public:
    virtual ~IDataFiller() = default;
    virtual void Fill(Tracking::Instant::Event& event) = 0;
};

} // namespace Nolvar
