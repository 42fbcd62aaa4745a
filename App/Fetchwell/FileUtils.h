#pragma once
// File helpers of the download library; failures are logged and reported by the result.
#include <cstdint>
#include <vector>

#include "App/Fetchwell/FetchwellApi.h"
#include "QorFilesystem/Path.h"
#include "QorIO/DataStream.h"

namespace Nolvar::App {

FETCHWELL_API bool fileExists(const ioPath& path);
// Unix seconds; throws when the time cannot be read.
FETCHWELL_API std::int64_t fileLastModifiedTime(const ioPath& path);
// True when the path was absent or has been removed.
FETCHWELL_API bool removeFile(const ioPath& path);
FETCHWELL_API bool readWholeFileToBuffer(const ioPath& path, std::vector<std::uint8_t>& buffer);
// Null when the file cannot be created.
FETCHWELL_API Core::DataOutputPtr createOutputFile(const ioPath& path);

// A download's temporary file: a stale one is removed at construction; removed at the end unless moved into place.
class FETCHWELL_API TemporaryFile {
public:
    TemporaryFile(ioPath temp, ioPath dest);
    ~TemporaryFile();
    TemporaryFile(const TemporaryFile&) = default;
    TemporaryFile& operator=(const TemporaryFile&) = default;

    // False when the stale temporary file could not be removed.
    explicit operator bool() const { return m_valid; }
    // Creates the destination's folder when needed and renames the temporary file over the destination.
    bool moveToDest();

private:
    ioPath m_temp;
    ioPath m_dest;
    bool m_valid = false;
};

} // namespace Nolvar::App
