#pragma once
// Writes the selected trace events as INFO log lines.
#include <set>
#include <string>

#include "App/Fetchwell/FetchwellApi.h"
#include "App/Fetchwell/IEventTracer.h"

namespace Nolvar::App {

class FETCHWELL_API EventTracer : public IEventTracer {
public:
    struct Params {
        bool traceAll = false;
        std::set<IEventTracer::Event> events;
    };

    explicit EventTracer(Params params);

    void trace(Event event, const TraceRecord& record) const override;
    void traceString(const std::string& text) const;

    // The line written for an event (without the log prefix).
    static std::string formatLine(Event event, const TraceRecord& record);
    static std::string eventName(Event event);

private:
    Params m_params;
};

} // namespace Nolvar::App
