#include "Tracking/Tallivo/Impl/Storage.h"

#include <windows.h>

#include <cstddef>
#include <cstring>
#include <vector>

#include <boost/filesystem/directory.hpp>
#include <boost/filesystem/operations.hpp>
#include <boost/system/system_error.hpp>
#include <boost/system/error_code.hpp>
#include <fmt/format.h>
#include <glog/logging.h>
#include <nlohmann/json.hpp>

#include "QorCrashHandler/TrackException.h"
#include "QorFilesystem/CacheRoot.h"
#include "QorFilesystem/FileOperations.h"
#include "QorPointer/UniqueHandle.h"
#include "Tracking/Tallivo/Impl/NotNull.h"
#include "Tracking/Tallivo/Impl/StorageDirectory.h"
#include "Tracking/Tallivo/Impl/StoredBatch.h"

namespace fs = boost::filesystem;

namespace Nolvar::Tracking::Instant {

namespace {

constexpr int kMaxIdAttempts = 16;

boost::system::error_code LastError() {
    return {static_cast<int>(GetLastError()), boost::system::system_category()};
}

std::string Quoted(const ioPath& path) { return "\"" + Core::Utf8FromPath(path) + "\""; }

// Creates `path` for writing and for renaming while open: renaming through the handle spares looking the file up
// again by name, which costs a read of the whole folder where lookups are case-blind (Wine).
Core::UniqueKernelHandle CreateNewFile(const ioPath& path) {
    return Core::UniqueKernelHandle(CreateFileW(path.wstring().c_str(), GENERIC_WRITE | DELETE,
                                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// Writes `text` into the new file; an error when the write fails or falls short.
boost::system::error_code WriteAll(HANDLE file, const std::string& text) {
    if (text.empty()) return {};
    DWORD written = 0;
    if (!WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr)) return LastError();
    // A short write sets no error of its own.
    if (written != text.size()) return {ERROR_WRITE_FAULT, boost::system::system_category()};
    return {};
}

// Renames the open file to `target`, never replacing a file there.
bool RenameOpenFile(HANDLE file, const ioPath& target) {
    const std::wstring name = target.wstring();
    const DWORD nameBytes = static_cast<DWORD>(name.size() * sizeof(wchar_t));
    std::vector<std::byte> buffer(sizeof(FILE_RENAME_INFO) + nameBytes);
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = FALSE;
    info->RootDirectory = nullptr;
    info->FileNameLength = nameBytes;
    std::memcpy(info->FileName, name.data(), nameBytes);
    return SetFileInformationByHandle(file, FileRenameInfo, info, static_cast<DWORD>(buffer.size())) != FALSE;
}

bool IsClash(const boost::system::error_code& error) {
    return error.value() == ERROR_FILE_EXISTS || error.value() == ERROR_ALREADY_EXISTS;
}

std::string ReadWholeFile(const ioPath& path) {
    auto text = Core::read_whole_file(path);
    if (text) return std::move(*text);
    switch (text.error().step) {
    case Core::ReadFailure::Open: LOG(WARNING) << "Can't open json file: " << Core::Utf8FromPath(path); break;
    case Core::ReadFailure::Size: LOG(WARNING) << "Can't read file size: " << Core::Utf8FromPath(path); break;
    default: LOG(WARNING) << "Can't read json file: " << Core::Utf8FromPath(path); break;
    }
    return {};
}

std::string Describe(const char* label, const boost::system::error_code& error) { return label + error.what(); }

} // namespace

Storage::Storage(std::shared_ptr<ISerializer> serializer, const std::string& vendor, const std::string& product,
                 std::shared_ptr<IIdGenerator> idGenerator, std::shared_ptr<Time::ISystemClock> clock)
    : Storage(std::move(serializer), std::move(idGenerator), std::move(clock),
              MakeStorageDirectory(Core::GetSystemCacheRoot(), vendor, product)) {}

Storage::Storage(std::shared_ptr<ISerializer> serializer, std::shared_ptr<IIdGenerator> idGenerator,
                 std::shared_ptr<Time::ISystemClock> clock, const ioPath& directory)
    : m_serializer(Detail::NotNull(std::move(serializer))),
      m_idGenerator(Detail::NotNull(std::move(idGenerator))),
      m_clock(Detail::NotNull(std::move(clock))),
      m_directory(directory) {
    boost::system::error_code ignored;
    fs::create_directories(m_directory, ignored);
}

Storage::Storage(const Storage& other)
    : IStorage(),
      std::enable_shared_from_this<Storage>(),
      m_serializer(other.m_serializer),
      m_idGenerator(other.m_idGenerator),
      m_clock(other.m_clock),
      m_directory(other.m_directory),
      m_popped(other.m_popped) {}

Storage& Storage::operator=(const Storage& other) {
    m_serializer = other.m_serializer;
    m_idGenerator = other.m_idGenerator;
    m_clock = other.m_clock;
    m_directory = other.m_directory;
    m_popped = other.m_popped;
    return *this;
}

Storage::~Storage() {
    try {
        clearTemporaryFiles();
    } catch (const std::exception& e) {
        LOG(ERROR) << "Failed to clear tmp files , error: " << e.what();
    } catch (...) {
        LOG(ERROR) << "Failed to clear tmp files with unexpected error";
        Core::TrackException("TallivoException", "Failed to clear tmp files with unexpected error");
    }
}

void Storage::push(const Event& event) {
    const std::string text = m_serializer->serialize(event);
    if (text.empty()) {
        LOG(WARNING) << "Can't serialize event: " << event.name;
        return;
    }
    if (text.size() > kMaxEventSize) {
        // It would hold up every batch it joins.
        LOG(WARNING) << "Event " << event.name << " is " << text.size() << " bytes, over the limit of "
                     << kMaxEventSize << "; not stored";
        return;
    }

    std::vector<std::string> problems;
    ioPath temporary;
    ioPath final;
    Core::UniqueKernelHandle file;
    // A clash of ids (another process, same tick, same random digits) never overwrites: take a new id.
    for (int attempt = 0; attempt < kMaxIdAttempts && !file; ++attempt) {
        final = m_directory / (m_idGenerator->generate() + ".json");
        temporary = final;
        temporary += ".tmp";
        file = CreateNewFile(temporary);
        boost::system::error_code openError = file ? boost::system::error_code() : LastError();
        if (openError.value() == ERROR_PATH_NOT_FOUND) {
            // The directory was removed while we run (a cache clean-up): make it again.
            boost::system::error_code ignored;
            fs::create_directories(m_directory, ignored);
            file = CreateNewFile(temporary);
            openError = file ? boost::system::error_code() : LastError();
        }
        if (!file && (!IsClash(openError) || attempt + 1 == kMaxIdAttempts)) {
            LOG(WARNING) << "Can't open file: " << Core::Utf8FromPath(temporary);
            problems.push_back(Describe("create and open: ", openError));
            break;
        }
    }

    if (file) {
        if (const boost::system::error_code writeError = WriteAll(file.get(), text)) {
            problems.push_back(Describe("write: ", writeError));
        } else if (LARGE_INTEGER size{}; GetFileSizeEx(file.get(), &size) && size.QuadPart == 0) {
            // An empty file after a write that reported no error: the error is not known, so none is made up.
            problems.push_back("write: the file is empty");
        }
        bool moved = false;
        boost::system::error_code renameError;
        for (int attempt = 0; attempt < kMaxIdAttempts; ++attempt) {
            if (RenameOpenFile(file.get(), final)) {
                moved = true;
                break;
            }
            renameError = LastError();
            if (!IsClash(renameError)) break;
            final = m_directory / (m_idGenerator->generate() + ".json");
        }
        if (!moved) {
            problems.push_back(Describe("rename: ", renameError));
            const bool copied = CopyFileW(temporary.wstring().c_str(), final.wstring().c_str(), TRUE) != FALSE;
            const boost::system::error_code copyError = copied ? boost::system::error_code() : LastError();
            if (copied) {
                LOG(WARNING) << "Can't rename file with event: " << Core::Utf8FromPath(temporary)
                             << ", file was copied as json";
            } else {
                LOG(WARNING) << "Can't copy file with event: " << Core::Utf8FromPath(temporary);
                problems.push_back(Describe("copy_file: ", copyError));
            }
        }
        file.reset();
    }

    if (problems.empty()) return;
    std::string report;
    for (const std::string& problem : problems) report += (report.empty() ? "" : ", ") + problem;
    boost::system::error_code existsError, sizeError, timeError;
    const ioPath& described = fs::exists(temporary, existsError) ? temporary : final;
    const auto size = fs::file_size(described, sizeError);
    const auto lastWrite = fs::last_write_time(described, timeError);
    report += fmt::format(" file name:\"{}\", size:{} b, last write time:{}", Core::Utf8FromPath(described),
                          sizeError ? 0 : size, timeError ? 0 : lastWrite);
    LOG(ERROR) << report;
    Core::TrackException("File error Tallivo in Storage::push", report);
}

std::unique_ptr<ISerializedEvents> Storage::pop(std::size_t maxCount) {
    std::vector<std::string> texts;
    std::vector<ioPath> paths;
    try {
        boost::system::error_code error;
        for (fs::directory_iterator it(m_directory, error), end; !error && it != end && texts.size() < maxCount;
             it.increment(error)) {
            const ioPath path = it->path();
            try {
                boost::system::error_code statusError;
                const fs::file_status status = it->status(statusError);
                if (statusError) {
                    LOG(WARNING) << "Unable to determine type of file " << Quoted(path)
                                 << ", error: " << statusError.message();
                    continue;
                }
                const ioPath extension = path.extension();
                const bool isEvent = extension == ".json";
                const bool isSetAside = extension == ".bad";
                if (!fs::is_regular_file(status) || !(isEvent || isSetAside) || m_popped.count(path.wstring())) {
                    continue;
                }
                boost::system::error_code timeError;
                const std::time_t lastWrite = fs::last_write_time(path, timeError);
                if (timeError) {
                    LOG(WARNING) << "Unable to determine last write time of file " << Quoted(path)
                                 << ", error: " << timeError.message();
                    continue;
                }
                const std::int64_t age = Time::SecondsSinceEpoch(*m_clock) - lastWrite;
                if (age > kEventStorageTime) {
                    boost::system::error_code removeError;
                    if (!fs::remove(path, removeError) && removeError) {
                        LOG(WARNING) << "Unable to remove file " << Core::Utf8FromPath(path)
                                     << ", error: " << removeError.message();
                    }
                    continue;
                }
                if (isSetAside) continue;
                boost::system::error_code sizeError;
                if (const auto size = fs::file_size(path, sizeError); !sizeError && size > kMaxEventSize) {
                    setAside(path, "over the size limit");
                    continue;
                }
                std::string text = ReadWholeFile(path);
                if (text.empty()) {
                    // A file that stays empty past the grace time was never written completely.
                    if (age > kWriteGrace.count()) setAside(path, "empty");
                    continue;
                }
                if (!nlohmann::json::accept(text)) {
                    setAside(path, "not JSON");
                    continue;
                }
                texts.push_back(std::move(text));
                paths.push_back(path);
            } catch (const std::exception& e) {
                LOG(ERROR) << "Storage::pop failed to process file " << Core::Utf8FromPath(path)
                           << ", error: " << e.what();
            }
        }
        if (error) throw boost::system::system_error(error, "directory iteration");

        for (const ioPath& path : paths) m_popped.insert(path.wstring());
        return std::make_unique<StoredBatch>(weak_from_this(), std::move(texts), std::move(paths));
    } catch (const std::exception& e) {
        LOG(ERROR) << "Storage::pop failed, error: " << e.what();
        release(paths);
        return nullptr;
    }
}

std::int64_t Storage::getEventStorageTime() const { return kEventStorageTime; }

const ioPath& Storage::getDirectory() const { return m_directory; }

void Storage::release(const std::vector<ioPath>& paths) {
    for (const ioPath& path : paths) m_popped.erase(path.wstring());
}

bool Storage::removeAndRelease(const std::vector<ioPath>& paths) {
    bool complete = true;
    for (const ioPath& path : paths) {
        try {
            fs::remove(path);
        } catch (const std::exception& e) {
            LOG(WARNING) << "Can't remove file with event: " << Core::Utf8FromPath(path) << ", error: " << e.what();
            complete = false;
        }
    }
    release(paths);
    return complete;
}

bool Storage::setAsideAndRelease(const std::vector<ioPath>& paths) {
    for (const ioPath& path : paths) setAside(path, "refused by the server again and again");
    release(paths);
    return true;
}

void Storage::setAside(const ioPath& path, const char* why) {
    ioPath aside = path;
    aside += ".bad";
    boost::system::error_code error;
    fs::rename(path, aside, error);
    LOG(WARNING) << "Stored event file " << Quoted(path) << " is " << why << ", set aside"
                 << (error ? ", error: " + error.message() : std::string());
}

void Storage::clearTemporaryFiles() const {
    const std::int64_t now = Time::SecondsSinceEpoch(*m_clock);
    boost::system::error_code error;
    for (fs::directory_iterator it(m_directory, error), end; !error && it != end; it.increment(error)) {
        const ioPath path = it->path();
        boost::system::error_code statusError;
        const fs::file_status status = it->status(statusError);
        if (statusError) {
            LOG(WARNING) << "Unable to determine type of file " << Quoted(path) << ", error: " << statusError.message();
            continue;
        }
        if (!fs::is_regular_file(status) || path.extension() != ".tmp") continue;
        // Another process may still be writing a young one.
        boost::system::error_code timeError;
        const std::time_t lastWrite = fs::last_write_time(path, timeError);
        if (timeError || now - lastWrite <= kWriteGrace.count()) continue;
        boost::system::error_code removeError;
        if (!fs::remove(path, removeError) && removeError) {
            LOG(WARNING) << "Unable to remove tmp file " << Core::Utf8FromPath(path) << ", error: " << removeError.message();
        }
    }
}

} // namespace Nolvar::Tracking::Instant
