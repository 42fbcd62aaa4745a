#include "utils/StartupTexts.h"

#include <boost/url/parse.hpp>

#include "QorWebUid/WebUidFormat.h"

namespace Nolvar {

namespace {

bool HasControlCharacters(std::string_view text) {
    for (const unsigned char c : text)
        if (c < 0x20 || c == 0x7f) return true;
    return false;
}

} // namespace

std::optional<std::string> StartupTextProblem(StartupText kind, std::string_view text) {
    switch (kind) {
    case StartupText::ConfigUrl: {
        if (HasControlCharacters(text)) return "holds control characters";
        const auto url = boost::urls::parse_absolute_uri(text);
        if (!url) return "is not an http(s) URL";
        const auto scheme = url->scheme_id();
        if (scheme != boost::urls::scheme::http && scheme != boost::urls::scheme::https)
            return "is not an http(s) URL";
        if (url->encoded_host().empty()) return "names no host";
        return std::nullopt;
    }
    case StartupText::WebUid:
        if (!App::IsWebUidFormat(text)) return "is not a web user id";
        return std::nullopt;
    }
    return "is of no known kind";
}

} // namespace Nolvar
