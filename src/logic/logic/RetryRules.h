#pragma once
// How often a run offers a failed download or installation again. Used on the loop thread only.
#include <cstdint>

namespace Nolvar {

class RetryRules {
public:
    enum class DownloadStep { OfferRetry, ShowNoConnection };
    enum class InstallStep { RetryAtOnce, OfferRetry, GiveUp };

    // Three retry pop-ups for failed downloads in a run; every later failure shows the no-connection pop-up.
    DownloadStep AfterDownloadFailure();
    // The first failed installation of a run is retried without asking, the next three are offered, and the one
    // after them ends the run.
    InstallStep AfterInstallFailure();

private:
    std::int32_t m_downloadRetryCount = 0;   // decisions taken for failed downloads
    bool m_automaticInstallRetry = true;
    std::int32_t m_installRetryCount = 0;    // decisions taken for failed installations after the automatic retry
};

} // namespace Nolvar
