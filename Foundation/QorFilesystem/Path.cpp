#include "QorFilesystem/Path.h"

#include "QorString/Utf.h"

namespace Nolvar::Core {

ioPath PathFromUtf8(std::string_view utf8) { return ioPath(WstringFromUtf8(utf8)); }

std::string Utf8FromPath(const ioPath& path) { return Utf8FromWstring(path.wstring()); }

} // namespace Nolvar::Core
