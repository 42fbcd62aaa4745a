#pragma once
// File names of downloads in the working folder.
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "QorFilesystem/Path.h"

namespace Nolvar {

// A file name for `folder` made from a URL's decoded file name: no folder parts, drive, reserved characters or
// device names, and short enough that the file, its ".tmp" companion and a "-<n>" suffix can be created in
// `folder`; "download" when nothing usable is left.
ioPath SafeDownloadFileName(const ioPath& decodedName, const ioPath& folder = {});

// Hands out target paths that differ from every path handed out or taken before, ignoring letter case: a
// wanted path that is taken gets "-2", "-3", ... before its extension. Each call costs about the same however
// many paths were handed out.
class UniqueFileNames {
public:
    // `wanted`, or the first free numbered variant of it; either is taken from then on.
    ioPath Take(const ioPath& wanted);
    // Marks a path chosen elsewhere as taken.
    void MarkTaken(const ioPath& path);

private:
    std::unordered_set<std::wstring> m_taken;            // lower-case paths
    std::unordered_map<std::wstring, int> m_nextNumber;  // lower-case wanted path -> next suffix to try
};

} // namespace Nolvar
