#pragma once
// The publisher's tag in the code signature of the distributed installer, applied to the settings at start-up.
#include <string>

#include "QorOS/SignatureTag.h"

namespace Nolvar {

struct SignatureTagValues {
    std::string browser;     // browser executable name
    std::string configUrl;
    std::string webUid;
};

// The values of a tag text: "browser" (a browser code letter), "config_url", "webuid", each optional. Throws
// std::runtime_error naming the reason for a tag that is no JSON object, is empty, or holds a value of the wrong
// type, or a text the command line's check refuses (StartupTexts.h).
SignatureTagValues ParseSignatureTag(const std::string& tag);

// Applies the tag read from the distribution file, then what the distribution file name carries where the tag
// gave nothing: PreferredBrowser, ConfigUrl and WebUid. A tag that could not be read or cannot be used is logged
// at ERROR and changes nothing.
void ApplySignatureTag(const Core::SignatureTagReading& reading);

} // namespace Nolvar
