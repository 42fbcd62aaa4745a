#include "App/Fetchwell/FileUtils.h"

#include <exception>
#include <system_error>

#include <glog/logging.h>

#include "QorFilesystem/FileOperations.h"
#include "QorIO/DataFile.h"

namespace Nolvar::App {
namespace {

void LogOpenFailure(const char* what, const ioPath& path) {
    const std::string name = Core::Utf8FromPath(path);
    try {
        throw;
    } catch (const std::system_error& e) {
        LOG(ERROR) << what << name << ", errno=" << e.code().value();
    } catch (const std::exception&) {
        LOG(ERROR) << what << name << ", errno=?";
    } catch (...) {
        LOG(ERROR) << what << name << " (unknown exception)";
    }
}

} // namespace

bool fileExists(const ioPath& path) {
    try {
        return Core::exists(path);
    } catch (...) {
        return false;
    }
}

std::int64_t fileLastModifiedTime(const ioPath& path) { return Core::last_write_time(path); }

bool removeFile(const ioPath& path) {
    try {
        Core::remove(path);
        return true;
    } catch (...) {
        LOG(ERROR) << "Failed to remove file=" << Core::Utf8FromPath(path);
        return false;
    }
}

bool readWholeFileToBuffer(const ioPath& path, std::vector<std::uint8_t>& buffer) {
    Core::DataInputPtr input;
    try {
        input = Core::DataInputFile::Create(path);
    } catch (...) {
        LogOpenFailure("failed to create file for reading=", path);
        return false;
    }
    try {
        buffer.resize(static_cast<std::size_t>(input->size()));
        std::size_t got = 0;
        while (got < buffer.size()) {
            const std::size_t n = input->read(buffer.data() + got, buffer.size() - got);
            if (n == 0) break;
            got += n;
        }
        return got == buffer.size();
    } catch (const std::exception& e) {
        LOG(ERROR) << "failed to read file=" << Core::Utf8FromPath(path) << ": " << e.what();
        return false;
    }
}

Core::DataOutputPtr createOutputFile(const ioPath& path) {
    try {
        return Core::DataOutputFile::Create(path);
    } catch (...) {
        LogOpenFailure("failed to create file for writing=", path);
        return nullptr;
    }
}

TemporaryFile::TemporaryFile(ioPath temp, ioPath dest)
    : m_temp(std::move(temp)), m_dest(std::move(dest)), m_valid(removeFile(m_temp)) {}

TemporaryFile::~TemporaryFile() {
    if (m_valid) removeFile(m_temp);
}

bool TemporaryFile::moveToDest() {
    try {
        const ioPath folder = Core::parent_path(m_dest);
        if (!folder.empty() && !Core::exists(folder)) Core::create_directories(folder);
        Core::rename(m_temp, m_dest);
        return true;
    } catch (...) {
        LOG(ERROR) << "Failed to rename: " << Core::Utf8FromPath(m_temp) << " -> " << Core::Utf8FromPath(m_dest);
        return false;
    }
}

} // namespace Nolvar::App
