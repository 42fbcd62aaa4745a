#include "Tracking/Tallivo/Impl/TrackerImpl.h"

#include <windows.h>
#include <bcrypt.h>

#include <array>
#include <ctime>
#include <system_error>

#include "Tracking/Tallivo/Impl/NotNull.h"
#include "Tracking/Tallivo/InitializationString.h"

namespace Nolvar::Tracking::Instant {

namespace {

std::string LocalDateTime() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_s(&local, &now);
    char text[32];
    std::strftime(text, sizeof(text), "%Y-%m-%dT%H:%M:%S", &local);
    return text;
}

} // namespace

TrackerImpl::TrackerImpl(const std::string& initializationString, const std::string& moduleName,
                         std::shared_ptr<IScheduler> scheduler)
    : m_scheduler(Detail::NotNull(std::move(scheduler))) {
    const NTSTATUS status = BCryptOpenAlgorithmProvider(m_rng.put(), BCRYPT_RNG_ALGORITHM, nullptr, 0);
    if (!BCRYPT_SUCCESS(status)) {
        throw std::system_error(static_cast<int>(status), std::system_category(), "BCryptOpenAlgorithmProvider");
    }
    m_defaults = ParseInitializationString(initializationString);
    m_defaults["MODULE_NAME"] = moduleName;
}

TrackerImpl::~TrackerImpl() {
    m_scheduler.reset();
}

std::string TrackerImpl::makeUniqueId() const {
    std::array<unsigned char, 16> bytes{};
    const NTSTATUS status =
        BCryptGenRandom(m_rng.get(), bytes.data(), static_cast<ULONG>(bytes.size()), 0);
    if (!BCRYPT_SUCCESS(status)) throw std::system_error(static_cast<int>(status), std::system_category(), "BCryptGenRandom");
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);
    static constexpr char kHex[] = "0123456789abcdef";
    std::string id;
    id.reserve(36);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) id += '-';
        id += kHex[bytes[i] >> 4];
        id += kHex[bytes[i] & 0x0F];
    }
    return id;
}

void TrackerImpl::track(const std::string& name, const Event::Params& params) {
    Event event(name, params);
    for (const auto& [key, value] : m_defaults) event.params.emplace(key, value);
    const std::string uniqueId = makeUniqueId();
    event.params["UNIQUE_ID"] = uniqueId;
    std::string previousName;
    std::string previousId;
    {
        std::lock_guard lock(m_mutex);
        previousName = std::exchange(m_lastEventName, name);
        previousId = std::exchange(m_lastEventUniqueId, uniqueId);
    }
    event.params["PREVIOUS_EVENT_NAME"] = std::move(previousName);
    event.params["PREVIOUS_EVENT_UNIQUE_ID"] = std::move(previousId);
    event.params["DATE_TIME"] = LocalDateTime();
    m_scheduler->put(event);
}

} // namespace Nolvar::Tracking::Instant
