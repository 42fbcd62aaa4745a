#include "testing/TempFolder.h"

#include <windows.h>

#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <system_error>

#include "QorFilesystem/FileOperations.h"

namespace Testing {

TempFolder::TempFolder(const std::wstring& prefix) {
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        auto candidate = std::filesystem::temp_directory_path() / (prefix + std::to_wstring(random()));
        std::error_code error;
        if (std::filesystem::create_directory(candidate, error)) {
            m_path = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary test folder");
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

std::string ReadWholeFile(const std::filesystem::path& file) {
    auto text = Nolvar::Core::read_whole_file(Nolvar::ioPath(file.wstring()));
    return text ? std::move(*text) : std::string();
}

void WriteWholeFile(const std::filesystem::path& file, const std::string& content) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out) throw std::runtime_error("cannot write " + file.string());
}

} // namespace Testing

namespace Testing {

std::string ReadInfoLogs(const std::filesystem::path& folder) {
    std::string text;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        if (entry.path().filename().wstring().find(L".log.INFO.") != std::wstring::npos)
            text += ReadWholeFile(entry.path());
    }
    return text;
}

} // namespace Testing
