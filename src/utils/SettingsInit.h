#pragma once
// Start-up values of the settings and the installer's command line.
#include <optional>
#include <string>

#include "utils/SettingsId.h"

namespace Nolvar::Settings {

// Writes the start-up values, applies the command line ("--name=value" stores text, "--name" the flag true),
// then the staging token of the distribution file name. An empty value ("--name=") counts as absent, and a
// --config-url that fails the start-up text check (StartupTexts.h) is not stored: the start-up value stays.
// Call first in main.
void Init(int argc, char** argv);

// Readers of command-line settings that tolerate an option given in the wrong form: a text option stored as a
// flag reads as unset; a flag option stored as text reads through StringToBool.
std::optional<std::string> GetTextOption(ID id);
// The text of GetTextOption, or `fallback` when there is none.
std::string GetText(ID id, const std::string& fallback = {});
bool GetFlagOption(ID id);
// Logs a WARNING for every command-line option given in the wrong form or refused (call once logging is on).
void WarnAboutMalformedOptions();

} // namespace Nolvar::Settings
