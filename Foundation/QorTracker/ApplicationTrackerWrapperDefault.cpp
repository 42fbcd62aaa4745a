#include "QorTracker/ApplicationTrackerWrapperDefault.h"

#include <utility>

namespace Nolvar::Tracking {

ApplicationTrackerWrapperDefault::ApplicationTrackerWrapperDefault(ApplicationTrackerPtr wrapped)
    : m_wrapped(std::move(wrapped)) {}

bool ApplicationTrackerWrapperDefault::Initialize(Initializer initializer) {
    return m_wrapped && m_wrapped->Initialize(std::move(initializer));
}

bool ApplicationTrackerWrapperDefault::Initialize(const std::string& name, const Core::Version& version,
                                                  const std::string& vendor, const std::string& product,
                                                  const std::shared_ptr<App::ILoggerFactory>& loggers) {
    return m_wrapped && m_wrapped->Initialize(name, version, vendor, product, loggers);
}

bool ApplicationTrackerWrapperDefault::Deinitialize() { return m_wrapped && m_wrapped->Deinitialize(); }

bool ApplicationTrackerWrapperDefault::IsInitialized() const { return m_wrapped && m_wrapped->IsInitialized(); }

bool ApplicationTrackerWrapperDefault::TrackEvent(const std::string& name, const Params& params) {
    return m_wrapped && m_wrapped->TrackEvent(name, params);
}

bool ApplicationTrackerWrapperDefault::TrackException(const std::string& name, const std::string& key,
                                                      const std::string& value) {
    return m_wrapped && m_wrapped->TrackException(name, key, value);
}

} // namespace Nolvar::Tracking
