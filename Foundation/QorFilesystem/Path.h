#pragma once
// The path type of every file operation. Text crosses into paths as UTF-8, converted explicitly to UTF-16:
// never through the ANSI code page.
#include <string>
#include <string_view>

#include <boost/filesystem/path.hpp>

namespace Nolvar {

using ioPath = boost::filesystem::path;

namespace Core {

ioPath PathFromUtf8(std::string_view utf8);
std::string Utf8FromPath(const ioPath& path);

} // namespace Core
} // namespace Nolvar
