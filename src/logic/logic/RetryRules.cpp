#include "logic/logic/RetryRules.h"

namespace Nolvar {

namespace {

constexpr std::int32_t kDownloadRetryPopups = 3;
constexpr std::int32_t kInstallRetryPopups = 3;

} // namespace

RetryRules::DownloadStep RetryRules::AfterDownloadFailure() {
    const std::int32_t taken = m_downloadRetryCount++;
    return taken < kDownloadRetryPopups ? DownloadStep::OfferRetry : DownloadStep::ShowNoConnection;
}

RetryRules::InstallStep RetryRules::AfterInstallFailure() {
    if (m_automaticInstallRetry) {
        m_automaticInstallRetry = false;
        return InstallStep::RetryAtOnce;
    }
    const std::int32_t taken = m_installRetryCount++;
    return taken < kInstallRetryPopups ? InstallStep::OfferRetry : InstallStep::GiveUp;
}

} // namespace Nolvar
