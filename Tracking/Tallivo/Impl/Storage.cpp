#include "Tracking/Tallivo/Impl/Storage.h"

#include <windows.h>

#include <cstddef>
#include <cstring>
#include <optional>
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

// Whether an event's text can be stored: not when it could not be serialized, nor when it is so large that it would
// hold up every batch it joins.
bool Storable(const Event& event, const std::string& text) {
    if (text.empty()) {
        LOG(WARNING) << "Can't serialize event: " << event.name;
        return false;
    }
    if (text.size() > Storage::kMaxEventSize) {
        LOG(WARNING) << "Event " << event.name << " is " << text.size() << " bytes, over the limit of "
                     << Storage::kMaxEventSize << "; not stored";
        return false;
    }
    return true;
}

// An event file on its way into the directory: written under its ".tmp" name, then renamed to its final one.
struct NewEventFile {
    ioPath temporary;
    ioPath final;
    Core::UniqueKernelHandle handle;
    std::vector<std::string> problems;  // what went wrong, for one report
};

ioPath FreshEventName(const ioPath& directory, const IIdGenerator& ids) {
    return directory / (ids.generate() + ".json");
}

// Opens the new ".tmp" file; a directory removed while we run (a cache clean-up) is made again.
boost::system::error_code OpenTemporary(NewEventFile& file, const ioPath& directory) {
    file.handle = CreateNewFile(file.temporary);
    if (file.handle) return {};
    const boost::system::error_code error = LastError();
    if (error.value() != ERROR_PATH_NOT_FOUND) return error;
    boost::system::error_code ignored;
    fs::create_directories(directory, ignored);
    file.handle = CreateNewFile(file.temporary);
    return file.handle ? boost::system::error_code() : LastError();
}

// A clash of ids (another process, same tick, same random digits) never overwrites: a new id is taken.
NewEventFile CreateEventFile(const ioPath& directory, const IIdGenerator& ids) {
    NewEventFile file;
    for (int attempt = 0; attempt < kMaxIdAttempts && !file.handle; ++attempt) {
        file.final = FreshEventName(directory, ids);
        file.temporary = file.final;
        file.temporary += ".tmp";
        const boost::system::error_code openError = OpenTemporary(file, directory);
        if (!file.handle && (!IsClash(openError) || attempt + 1 == kMaxIdAttempts)) {
            LOG(WARNING) << "Can't open file: " << Core::Utf8FromPath(file.temporary);
            file.problems.push_back(Describe("create and open: ", openError));
            break;
        }
    }
    return file;
}

void WriteEvent(NewEventFile& file, const std::string& text) {
    if (const boost::system::error_code writeError = WriteAll(file.handle.get(), text)) {
        file.problems.push_back(Describe("write: ", writeError));
    } else if (LARGE_INTEGER size{}; GetFileSizeEx(file.handle.get(), &size) && size.QuadPart == 0) {
        // An empty file after a write that reported no error: the error is not known, so none is made up.
        file.problems.push_back("write: the file is empty");
    }
}

// A file that cannot be renamed keeps its event as a copy under the final name.
void CopyToFinalName(NewEventFile& file) {
    if (CopyFileW(file.temporary.wstring().c_str(), file.final.wstring().c_str(), TRUE)) {
        LOG(WARNING) << "Can't rename file with event: " << Core::Utf8FromPath(file.temporary)
                     << ", file was copied as json";
        return;
    }
    const boost::system::error_code copyError = LastError();
    LOG(WARNING) << "Can't copy file with event: " << Core::Utf8FromPath(file.temporary);
    file.problems.push_back(Describe("copy_file: ", copyError));
}

// Gives the written file its final name, a new one after each clash of ids.
void NameEventFile(NewEventFile& file, const ioPath& directory, const IIdGenerator& ids) {
    boost::system::error_code renameError;
    for (int attempt = 0; attempt < kMaxIdAttempts; ++attempt) {
        if (RenameOpenFile(file.handle.get(), file.final)) return;
        renameError = LastError();
        if (!IsClash(renameError)) break;
        file.final = FreshEventName(directory, ids);
    }
    file.problems.push_back(Describe("rename: ", renameError));
    CopyToFinalName(file);
}

// One error line and one crash-handler report for all that went wrong, with the file as it now stands.
void ReportProblems(const NewEventFile& file) {
    std::string report;
    for (const std::string& problem : file.problems) report += (report.empty() ? "" : ", ") + problem;
    boost::system::error_code existsError, sizeError, timeError;
    const ioPath& described = fs::exists(file.temporary, existsError) ? file.temporary : file.final;
    const auto size = fs::file_size(described, sizeError);
    const auto lastWrite = fs::last_write_time(described, timeError);
    report += fmt::format(" file name:\"{}\", size:{} b, last write time:{}", Core::Utf8FromPath(described),
                          sizeError ? 0 : size, timeError ? 0 : lastWrite);
    LOG(ERROR) << report;
    Core::TrackException("File error Tallivo in Storage::push", report);
}

// What a directory entry is to pop: an event file, a set-aside one, or neither (also when its type is unknown).
enum class StoredFileKind { Other, Event, SetAside };

StoredFileKind KindOf(const fs::directory_entry& entry) {
    boost::system::error_code statusError;
    const fs::file_status status = entry.status(statusError);
    if (statusError) {
        LOG(WARNING) << "Unable to determine type of file " << Quoted(entry.path())
                     << ", error: " << statusError.message();
        return StoredFileKind::Other;
    }
    if (!fs::is_regular_file(status)) return StoredFileKind::Other;
    const ioPath extension = entry.path().extension();
    if (extension == ".json") return StoredFileKind::Event;
    if (extension == ".bad") return StoredFileKind::SetAside;
    return StoredFileKind::Other;
}

void SetAside(const ioPath& path, const char* why) {
    ioPath aside = path;
    aside += ".bad";
    boost::system::error_code error;
    fs::rename(path, aside, error);
    LOG(WARNING) << "Stored event file " << Quoted(path) << " is " << why << ", set aside"
                 << (error ? ", error: " + error.message() : std::string());
}

// Seconds since the file was last written; none when that time cannot be read.
std::optional<std::int64_t> AgeOf(const ioPath& path, const Time::ISystemClock& clock) {
    boost::system::error_code timeError;
    const std::time_t lastWrite = fs::last_write_time(path, timeError);
    if (timeError) {
        LOG(WARNING) << "Unable to determine last write time of file " << Quoted(path)
                     << ", error: " << timeError.message();
        return std::nullopt;
    }
    return Time::SecondsSinceEpoch(clock) - lastWrite;
}

// An event kept past the storage time is deleted unsent, set aside or not.
void RemoveExpired(const ioPath& path) {
    boost::system::error_code removeError;
    if (!fs::remove(path, removeError) && removeError) {
        LOG(WARNING) << "Unable to remove file " << Core::Utf8FromPath(path) << ", error: " << removeError.message();
    }
}

// The text of an event file young enough to send; a file that can never be sent is set aside: one over the size
// limit (unread), one still empty past the write grace (never written completely), one that is not JSON.
std::optional<std::string> ReadSendable(const ioPath& path, std::int64_t age) {
    boost::system::error_code sizeError;
    if (const auto size = fs::file_size(path, sizeError); !sizeError && size > Storage::kMaxEventSize) {
        SetAside(path, "over the size limit");
        return std::nullopt;
    }
    std::string text = ReadWholeFile(path);
    if (text.empty()) {
        if (age > Storage::kWriteGrace.count()) SetAside(path, "empty");
        return std::nullopt;
    }
    if (!nlohmann::json::accept(text)) {
        SetAside(path, "not JSON");
        return std::nullopt;
    }
    return text;
}

// One stored file's road to a batch: its text when it is an event to send, else none. An error on one file leaves
// the others to be read.
std::optional<std::string> TakeEvent(const ioPath& path, StoredFileKind kind, const Time::ISystemClock& clock) {
    try {
        const std::optional<std::int64_t> age = AgeOf(path, clock);
        if (!age) return std::nullopt;
        if (*age > Storage::kEventStorageTime) {
            RemoveExpired(path);
            return std::nullopt;
        }
        if (kind == StoredFileKind::SetAside) return std::nullopt;
        return ReadSendable(path, *age);
    } catch (const std::exception& e) {
        LOG(ERROR) << "Storage::pop failed to process file " << Core::Utf8FromPath(path) << ", error: " << e.what();
        return std::nullopt;
    }
}

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
    if (!Storable(event, text)) return;
    NewEventFile file = CreateEventFile(m_directory, *m_idGenerator);
    if (file.handle) {
        WriteEvent(file, text);
        NameEventFile(file, m_directory, *m_idGenerator);
        file.handle.reset();
    }
    if (!file.problems.empty()) ReportProblems(file);
}

std::unique_ptr<ISerializedEvents> Storage::pop(std::size_t maxCount) {
    std::vector<std::string> texts;
    std::vector<ioPath> paths;
    try {
        boost::system::error_code error;
        for (fs::directory_iterator it(m_directory, error), end; !error && it != end && texts.size() < maxCount;
             it.increment(error)) {
            const ioPath path = it->path();
            const StoredFileKind kind = KindOf(*it);
            if (kind == StoredFileKind::Other || m_popped.count(path.wstring())) continue;
            if (std::optional<std::string> text = TakeEvent(path, kind, *m_clock)) {
                texts.push_back(std::move(*text));
                paths.push_back(path);
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
    for (const ioPath& path : paths) SetAside(path, "refused by the server again and again");
    release(paths);
    return true;
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
