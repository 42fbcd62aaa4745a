#pragma once
// Files as reference-counted streams. Create throws std::system_error (carrying the Windows error number)
// when the file cannot be opened.
#include "QorFilesystem/Path.h"
#include "QorIO/DataStream.h"

namespace Nolvar::Core {

class DataInputFile {
public:
    static DataInputPtr Create(const ioPath& path);
};

class DataOutputFile {
public:
    // Creates the file, replacing an existing one.
    static DataOutputPtr Create(const ioPath& path);
};

} // namespace Nolvar::Core
