#include "App/Fetchwell/NetworkStateEmulator.h"

#include <utility>

#include "App/Fetchwell/FileUtils.h"

namespace Nolvar::App {

NetworkStateEmulator::NetworkStateEmulator(ioPath markerFile) : m_markerFile(std::move(markerFile)) {}

INetworkStateChecker::State NetworkStateEmulator::getState() const {
    return !m_markerFile.empty() && fileExists(m_markerFile) ? Offline : Online;
}

} // namespace Nolvar::App
