#pragma once
// Checks of the texts that reach the settings from outside at start-up: the command line, the signature tag and
// the distribution file name all pass through these, so each road accepts and refuses the same texts.
#include <optional>
#include <string>
#include <string_view>

namespace Nolvar {

enum class StartupText { ConfigUrl, WebUid };

// Why `text` cannot be used as `kind`; nothing when it can. A configuration URL is an absolute http(s) URL with
// a host and no control characters; a web user id has the web user id form.
std::optional<std::string> StartupTextProblem(StartupText kind, std::string_view text);

} // namespace Nolvar
