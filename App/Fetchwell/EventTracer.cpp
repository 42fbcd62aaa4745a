#include "App/Fetchwell/EventTracer.h"

#include <utility>

#include <glog/logging.h>

namespace Nolvar::App {

EventTracer::EventTracer(Params params) : m_params(std::move(params)) {}

std::string EventTracer::eventName(Event event) {
    switch (event) {
    case ExecScheduled: return "ExecScheduled";
    case Exec: return "Exec";
    case ExecEnd: return "/Exec";
    case ValidatorCheck: return "ValidatorCheck";
    case RegisterValidator: return "RegisterValidator";
    case StatusNotification: return "StatusNotification";
    case StatusNotificationEnd: return "/StatusNotification";
    case ProgressNotification: return "ProgressNotification";
    case ProgressNotificationEnd: return "/ProgressNotification";
    case Download: return "Download";
    case DownloadEnd: return "/Download";
    default: return {};
    }
}

std::string EventTracer::formatLine(Event event, const TraceRecord& record) {
    std::string line;
    if (record.descriptor) line += "[" + record.descriptor->traceName1 + "/" + record.descriptor->traceName2 + "] ";
    if (record.bundle) {
        if (record.bundle->empty()) {
            line += "[INVALID GROUP] ";
        } else {
            const ResourceDescriptor* first = *record.bundle->begin();
            line += "[G: " + first->traceName1 + "/" + first->traceName2 + ", ..(" +
                    std::to_string(record.bundle->size() - 1) + " more)] ";
        }
    }
    if (record.state) line += "(" + record.state->toDebugString() + ") ";
    line += eventName(event) + " " + record.text;
    return line;
}

void EventTracer::trace(Event event, const TraceRecord& record) const {
    if (!m_params.traceAll && !m_params.events.count(event)) return;
    LOG(INFO) << formatLine(event, record);
}

void EventTracer::traceString(const std::string& text) const { LOG(INFO) << text; }

} // namespace Nolvar::App
