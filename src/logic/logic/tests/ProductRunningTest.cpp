#include "logic/logic/ProductRunning.h"

#include <windows.h>

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "QorPointer/UniqueHandle.h"
#include "QorString/Utf.h"
#include "testing/ChildProcess.h"
#include "testing/TempFolder.h"

namespace {

std::filesystem::path BinFolder() { return std::filesystem::path(Testing::SelfPath()).parent_path(); }

// A running copy of the stand-in installer under the product's name, registered as installed.
class RunningProduct {
public:
    RunningProduct(const std::filesystem::path& folder, const std::wstring& exeName, const std::wstring& keyName)
        : m_key(L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + keyName) {
        const auto exe = folder / exeName;
        std::filesystem::copy_file(BinFolder() / L"FakeInstaller.exe", exe);
        std::filesystem::copy_file(BinFolder() / L"FakeInstaller.exe", folder / L"uninstall.exe");
        Nolvar::Core::UniqueRegKey key;
        RegCreateKeyExW(HKEY_CURRENT_USER, m_key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr);
        const std::wstring uninstall = L"\"" + (folder / L"uninstall.exe").wstring() + L"\"";
        RegSetValueExW(key.get(), L"UninstallString", 0, REG_SZ, reinterpret_cast<const BYTE*>(uninstall.c_str()),
                       static_cast<DWORD>((uninstall.size() + 1) * sizeof(wchar_t)));
        try {
            m_process.emplace(exe.wstring(), std::vector<std::wstring>{L"/FAKE_SLEEP=60000"});
        } catch (const std::runtime_error&) {
            // started() tells
        }
    }
    ~RunningProduct() {
        m_process.reset();
        RegDeleteKeyW(HKEY_CURRENT_USER, m_key.c_str());
    }
    bool started() const { return m_process.has_value(); }

private:
    std::wstring m_key;
    std::optional<Testing::ChildProcess> m_process;
};

TEST(ProductRunning, NeedsTheCheckARunningProcessAndAnInstalledProduct) {
    Testing::TempFolder folder(L"netsetter-running-Продукт -");
    const std::wstring id = std::to_wstring(GetCurrentProcessId());
    const std::wstring exeName = L"netsetter-product-" + id + L".exe";
    const std::wstring keyName = L"NetsetterRunning" + id;
    Nolvar::InstallerItem item;
    item.exeName = Nolvar::Core::Utf8FromWstring(exeName);
    item.searchKeys = {{Nolvar::kSearchUninstallKeyPrefix, Nolvar::Core::Utf8FromWstring(keyName)},
                       {Nolvar::kSearchExeName, item.exeName}};
    item.checkAppRunning = true;
    EXPECT_FALSE(Nolvar::IsProductRunning(item));   // neither running nor installed

    RunningProduct product(folder.path(), exeName, keyName);
    ASSERT_TRUE(product.started());
    EXPECT_TRUE(Nolvar::IsProductRunning(item));

    item.checkAppRunning = false;
    EXPECT_FALSE(Nolvar::IsProductRunning(item));

    item.checkAppRunning = true;
    item.searchKeys[Nolvar::kSearchUninstallKeyPrefix] = "NetsetterNotInstalled" + std::to_string(GetCurrentProcessId());
    EXPECT_FALSE(Nolvar::IsProductRunning(item));   // runs, but not installed
}

} // namespace
