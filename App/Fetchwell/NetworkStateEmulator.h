#pragma once
// Reports offline while a marker file exists (checked at every call).
#include "App/Fetchwell/FetchwellApi.h"
#include "App/Fetchwell/INetworkStateChecker.h"
#include "QorFilesystem/Path.h"

namespace Nolvar::App {

class FETCHWELL_API NetworkStateEmulator : public INetworkStateChecker {
public:
    explicit NetworkStateEmulator(ioPath markerFile);
    State getState() const override;

private:
    ioPath m_markerFile;
};

} // namespace Nolvar::App
