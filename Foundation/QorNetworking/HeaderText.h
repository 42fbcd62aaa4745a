#pragma once
// Header texts between the client and WinHTTP.
#include <string>

#include "QorNetworking/CaseInsensitiveCompare.h"
#include "QorNetworking/Response.h"

namespace Nolvar::Networking::Detail {

// An answer's raw header text (status line, then "Name: value" lines, CRLF-separated) as a block; repeated
// headers are joined with ", ".
Response::HeadersBlock ParseRawHeaders(const std::string& raw);

// `text` with line breaks and NULs turned into blanks, so it cannot end a header line early.
std::string CleanHeaderText(const std::string& text);

// The request headers as "Name: value\r\n" lines, without User-Agent (the session sends that).
std::string HeaderLines(const Headers& headers);

// The User-Agent header, cleaned; empty when there is none.
std::string UserAgent(const Headers& headers);

} // namespace Nolvar::Networking::Detail
