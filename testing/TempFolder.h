#pragma once
// A fresh folder under the Windows temporary directory, removed with everything in it when the object goes.
#include <filesystem>
#include <string>

namespace Testing {

class TempFolder {
public:
    explicit TempFolder(const std::wstring& prefix = L"netsetter-test-");
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path operator/(const std::filesystem::path& child) const { return m_path / child; }

private:
    std::filesystem::path m_path;
};

// Whole file content (binary), or empty when it cannot be read.
std::string ReadWholeFile(const std::filesystem::path& file);
void WriteWholeFile(const std::filesystem::path& file, const std::string& content);

} // namespace Testing

namespace Testing {

// Text of every glog INFO file in the folder, concatenated (glog names them <program>.<host>.<user>.log.INFO.*).
std::string ReadInfoLogs(const std::filesystem::path& folder);

} // namespace Testing
