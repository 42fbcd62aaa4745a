#pragma once
#include <map>
#include <string>

#include "QorNetworking/CaseInsensitiveCompare.h"
#include "QorNetworking/Url.h"

namespace Nolvar::Networking {

struct Request {
    Url url;
    Headers headers;
    // Extra query parameters, appended to the URL's query in name order.
    std::map<std::string, std::string> parameters;
};

} // namespace Nolvar::Networking
