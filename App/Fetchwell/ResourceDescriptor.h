#pragma once
// The description of one downloadable file and the set of files registered as one resource.
#include <cstdint>
#include <map>
#include <set>
#include <string>

#include "QorFilesystem/Path.h"

namespace Nolvar::App {

struct ResourceDescriptor {
    enum UpdatePolicy : std::int32_t {
        UpdateAlways = 0,       // download again
        UpdateIfInvalid = 1,    // the resource validator decides
        UpdateNever = 2,        // keep the present file
        UpdateIfNewer = 3,      // keep unless the server's Last-Modified is newer
    };

    bool installerOwned = false;       // set by the installer; not read here
    ioPath path;                       // its existence decides whether the resource is present
    ioPath tempPath;                   // written by a downloader, moved to destPath at the end
    ioPath destPath;
    ioPath cachePath;                  // optional local copy used instead of a download
    std::string traceName1;
    std::string traceName2;
    std::string serverRelativePath;
    std::string baseUrl;
    std::int32_t postProcessing = 0;
    std::int32_t updatePolicy = UpdateAlways;
    std::int32_t existingFileCheck = 0;  // 1: an existing path makes the resource Available at scheduling
    bool optional = false;             // the client can do without it: its outcome is left out of the connection state
    std::map<std::string, std::string> extra;  // not read here
};

// Identified by address; ordered by descriptor address.
using ResourceDescriptorBundle = std::set<const ResourceDescriptor*>;

} // namespace Nolvar::App
