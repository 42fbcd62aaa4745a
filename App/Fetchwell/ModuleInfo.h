#pragma once
#include "App/Fetchwell/FetchwellApi.h"

namespace Nolvar::App {

// Version of the loaded download library; logs it once at INFO.
FETCHWELL_API const char* FetchwellModuleVersion();

} // namespace Nolvar::App
