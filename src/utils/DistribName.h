#pragma once
// Tokens the distribution file name may carry: a browser code ("SetupC"), "_W<web user id>_", "_STG<token>_".
#include <string>
#include <utility>

namespace Nolvar {

// File-name part of the setting DistribName (UTF-8); empty when unset.
std::string GetDistribFileName();
// The text between `marker` and the next "_" in the distribution file name; empty when either is missing.
std::string GetDistribNameToken(const std::string& marker);
// Browser executable for "Setup" + `code` ("C" -> "chrome.exe"); empty for an unknown code.
std::string GetBrowserForSetupTag(const std::string& code);
// (executable, code) of the first browser code, in table order, found in the distribution file name.
std::pair<std::string, std::string> FindSetupTagInDistribName();

namespace Detail {
std::string DistribNameToken(const std::string& fileName, const std::string& marker);
std::pair<std::string, std::string> FindSetupTag(const std::string& fileName);
} // namespace Detail

} // namespace Nolvar
