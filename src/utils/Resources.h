#pragma once
// Data built into installer.exe.
#include <string>

namespace Nolvar {

// Bytes of the executable's RT_RCDATA resource `name` (UTF-8, letter case ignored); empty when missing.
std::string LoadRcDataResource(const std::string& name);

// Licence text of the current locale, else of the default locale, else "".
std::string GetEulaText();

} // namespace Nolvar
