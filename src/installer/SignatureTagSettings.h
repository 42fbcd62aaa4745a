#pragma once
// The publisher's tag in the code signature of the distributed installer, applied to the settings at start-up.
#include <string>

namespace Nolvar {

struct SignatureTagValues {
    std::string browser;     // browser executable name
    std::string configUrl;
    std::string webUid;
};

// The values of a tag text: "browser" (a browser code letter), "config_url", "webuid", each optional. Throws
// std::runtime_error naming the reason for a tag that is no JSON object, is empty, or holds a value of the wrong
// type or form.
SignatureTagValues ParseSignatureTag(const std::string& tag);

// Applies `tag` (the text read from the distribution file; empty when none), then what the distribution file name
// carries where the tag gave nothing: PreferredBrowser, ConfigUrl and WebUid. A tag that cannot be used is logged
// at ERROR and changes nothing.
void ApplySignatureTag(const std::string& tag);

} // namespace Nolvar
