#include "QorIO/DataFile.h"

#include <windows.h>

#include <algorithm>
#include <limits>
#include <system_error>

namespace Nolvar::Core {
namespace {

[[noreturn]] void ThrowLastError(const char* what, const ioPath& path) {
    throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                            std::string(what) + " " + Utf8FromPath(path));
}

class FileHandle {
public:
    explicit FileHandle(HANDLE handle) : m_handle(handle) {}
    ~FileHandle() { reset(); }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    HANDLE get() const { return m_handle; }
    bool valid() const { return m_handle != INVALID_HANDLE_VALUE; }
    bool reset() {
        if (!valid()) return true;
        BOOL closed = CloseHandle(m_handle);
        m_handle = INVALID_HANDLE_VALUE;
        return closed != FALSE;
    }

private:
    HANDLE m_handle;
};

constexpr DWORD kMaxChunk = 1u << 30;

class InputFile final : public RefCounted<IDataInput> {
public:
    InputFile(HANDLE handle, ioPath path) : m_file(handle), m_path(std::move(path)) {}

    std::uint64_t size() const override {
        LARGE_INTEGER size{};
        if (!GetFileSizeEx(m_file.get(), &size)) ThrowLastError("GetFileSizeEx", m_path);
        return static_cast<std::uint64_t>(size.QuadPart);
    }

    std::size_t read(void* buffer, std::size_t bytes) override {
        DWORD got = 0;
        DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes, kMaxChunk));
        if (!ReadFile(m_file.get(), buffer, want, &got, nullptr)) ThrowLastError("ReadFile", m_path);
        return got;
    }

private:
    FileHandle m_file;
    ioPath m_path;
};

class OutputFile final : public RefCounted<IDataOutput> {
public:
    OutputFile(HANDLE handle, ioPath path) : m_file(handle), m_path(std::move(path)) {}

    void write(const void* data, std::size_t bytes) override {
        if (!m_file.valid()) {
            SetLastError(ERROR_INVALID_HANDLE);
            ThrowLastError("WriteFile on a closed file", m_path);
        }
        auto* next = static_cast<const char*>(data);
        while (bytes > 0) {
            DWORD wrote = 0;
            DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes, kMaxChunk));
            if (!WriteFile(m_file.get(), next, want, &wrote, nullptr)) ThrowLastError("WriteFile", m_path);
            if (wrote == 0) {
                SetLastError(ERROR_WRITE_FAULT);
                ThrowLastError("WriteFile", m_path);
            }
            next += wrote;
            bytes -= wrote;
        }
    }

    void close() override {
        if (!m_file.reset()) ThrowLastError("CloseHandle", m_path);
    }

private:
    FileHandle m_file;
    ioPath m_path;
};

} // namespace

DataInputPtr DataInputFile::Create(const ioPath& path) {
    HANDLE handle = CreateFileW(path.wstring().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) ThrowLastError("CreateFileW (read)", path);
    return DataInputPtr(new InputFile(handle, path));
}

DataOutputPtr DataOutputFile::Create(const ioPath& path) {
    HANDLE handle = CreateFileW(path.wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) ThrowLastError("CreateFileW (write)", path);
    return DataOutputPtr(new OutputFile(handle, path));
}

} // namespace Nolvar::Core
