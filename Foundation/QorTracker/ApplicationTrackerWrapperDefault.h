#pragma once
// The tracker used when a client gives none: forwards to a wrapped tracker when there is one, otherwise
// tracks nothing and reports every call as not done.
#include "QorTracker/IApplicationTracker.h"

namespace Nolvar::Tracking {

class ApplicationTrackerWrapperDefault final : public RefCounted<IApplicationTracker> {
public:
    explicit ApplicationTrackerWrapperDefault(ApplicationTrackerPtr wrapped = nullptr);

    bool Initialize(Initializer initializer) override;
    bool Initialize(const std::string& name, const Core::Version& version, const std::string& vendor,
                    const std::string& product, const std::shared_ptr<App::ILoggerFactory>& loggers) override;
    bool Deinitialize() override;
    bool IsInitialized() const override;
    bool TrackEvent(const std::string& name, const Params& params) override;
    bool TrackException(const std::string& name, const std::string& key, const std::string& value) override;

private:
    ApplicationTrackerPtr m_wrapped;
};

} // namespace Nolvar::Tracking
