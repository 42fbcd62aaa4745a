#include "QorIO/DataFile.h"

#include <windows.h>

#include <algorithm>
#include <limits>
#include <system_error>
#include <utility>

#include "QorPointer/UniqueHandle.h"

namespace Nolvar::Core {
namespace {

[[noreturn]] void ThrowLastError(const char* what, const ioPath& path) {
    const DWORD error = GetLastError();  // before the path's conversion, which calls Windows too
    throw std::system_error(static_cast<int>(error), std::system_category(),
                            std::string(what) + " " + Utf8FromPath(path));
}

constexpr DWORD kMaxChunk = 1u << 30;

class InputFile final : public RefCounted<IDataInput> {
public:
    InputFile(UniqueKernelHandle file, ioPath path) : m_file(std::move(file)), m_path(std::move(path)) {}

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
    UniqueKernelHandle m_file;
    ioPath m_path;
};

class OutputFile final : public RefCounted<IDataOutput> {
public:
    OutputFile(UniqueKernelHandle file, ioPath path) : m_file(std::move(file)), m_path(std::move(path)) {}

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

    // Closing a written file can report a late write failure: the owner's own close would swallow it.
    void close() override {
        if (m_file && !CloseHandle(m_file.release())) ThrowLastError("CloseHandle", m_path);
    }

private:
    UniqueKernelHandle m_file;
    ioPath m_path;
};

} // namespace

DataInputPtr DataInputFile::Create(const ioPath& path) {
    UniqueKernelHandle file(CreateFileW(path.wstring().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN,
                                        nullptr));
    if (!file) ThrowLastError("CreateFileW (read)", path);
    return DataInputPtr(new InputFile(std::move(file), path));
}

DataOutputPtr DataOutputFile::Create(const ioPath& path) {
    UniqueKernelHandle file(CreateFileW(path.wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) ThrowLastError("CreateFileW (write)", path);
    return DataOutputPtr(new OutputFile(std::move(file), path));
}

} // namespace Nolvar::Core
