#include "utils/AppSearcher.h"

#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "QorPointer/UniqueHandle.h"
#include "QorString/Utf.h"
#include "testing/TempFolder.h"
#include "utils/win/RegistryReader.h"

namespace {

using Nolvar::FindInstalledApplication;
using Nolvar::ioPath;
using Nolvar::SearchKeys;

constexpr wchar_t kUninstall[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

struct View {
    HKEY root;
    REGSAM flag;
};
const View kUser64{HKEY_CURRENT_USER, KEY_WOW64_64KEY};
const View kUser32{HKEY_CURRENT_USER, KEY_WOW64_32KEY};
const View kMachine64{HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY};
const View kMachine32{HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY};

// Uninstall entries made for one test under a prefix of its own, removed afterwards.
class AppSearcher : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_prefix = L"NetsetterTest" + std::to_wstring(GetCurrentProcessId()) + Nolvar::Core::WstringFromUtf8(info->name());
    }

    void TearDown() override {
        for (const auto& [view, name] : m_made) RegDeleteKeyExW(view.root, (kUninstall + name).c_str(), view.flag, 0);
    }

    // An entry named prefix + suffix; empty values are not written.
    void AddEntry(View view, const std::wstring& suffix, const std::wstring& installLocation,
                  const std::wstring& uninstallString) {
        const std::wstring name = m_prefix + suffix;
        Nolvar::Core::UniqueRegKey key;
        ASSERT_EQ(RegCreateKeyExW(view.root, (kUninstall + name).c_str(), 0, nullptr, 0, KEY_SET_VALUE | view.flag,
                                  nullptr, key.put(), nullptr),
                  ERROR_SUCCESS);
        m_made.push_back({view, name});
        if (!installLocation.empty()) SetString(key.get(), L"InstallLocation", installLocation);
        if (!uninstallString.empty()) SetString(key.get(), L"UninstallString", uninstallString);
    }

    // A product folder with the executable (when `withExe`) and an uninstaller.
    std::wstring MakeProduct(const std::wstring& name, bool withExe, const std::wstring& exeName = L"product.exe") {
        const auto folder = m_temp / name;
        std::filesystem::create_directories(folder);
        if (withExe) Testing::WriteWholeFile(folder / exeName, "MZ");
        Testing::WriteWholeFile(folder / L"uninstall.exe", "MZ");
        return folder.wstring();
    }

    static std::wstring Quoted(const std::wstring& folder) { return L"\"" + folder + L"\\uninstall.exe\""; }

    SearchKeys Keys(const std::string& exeName = "product.exe") const {
        return {{Nolvar::kSearchUninstallKeyPrefix, Nolvar::Core::Utf8FromWstring(m_prefix)},
                {Nolvar::kSearchExeName, exeName}};
    }

    static void SetString(HKEY key, const wchar_t* name, const std::wstring& value) {
        RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    }

    std::wstring m_prefix;
    Testing::TempFolder m_temp{L"netsetter-apps-Программы -"};
    std::vector<std::pair<View, std::wstring>> m_made;
};

TEST_F(AppSearcher, PicksTheHighestSuffixWithAnExecutableAcrossAllFourViews) {
    const auto one = MakeProduct(L"one", true);
    const auto three = MakeProduct(L"три три", true);
    const auto five = MakeProduct(L"five", false);
    const auto seven = MakeProduct(L"seven", true);
    AddEntry(kUser64, L"1", one, Quoted(one));
    AddEntry(kMachine32, L"3", three, Quoted(three));
    AddEntry(kMachine64, L"5", five, Quoted(five));           // executable missing: does not raise the bar
    AddEntry(kUser32, L"7", seven, L"");                      // no uninstaller: skipped

    const auto found = FindInstalledApplication(Keys());
    EXPECT_EQ(found.executablePath, ioPath(three + L"\\product.exe"));
    EXPECT_EQ(found.uninstallerPath, ioPath(three + L"\\uninstall.exe"));
}

TEST_F(AppSearcher, FindsEntriesInEachViewAlone) {
    for (View view : {kUser64, kUser32, kMachine64, kMachine32}) {
        TearDown();
        m_made.clear();
        const auto folder = MakeProduct(L"alone", true);
        AddEntry(view, L"2", folder, Quoted(folder));
        EXPECT_EQ(FindInstalledApplication(Keys()).executablePath, ioPath(folder + L"\\product.exe"));
    }
}

TEST_F(AppSearcher, FirstOfEqualSuffixesWinsAndThePlainPrefixCountsAsZero) {
    const auto user = MakeProduct(L"user", true);
    const auto machine = MakeProduct(L"machine", true);
    AddEntry(kUser64, L"", user, Quoted(user));               // suffix 0
    AddEntry(kMachine64, L"0", machine, Quoted(machine));      // also 0, met later
    EXPECT_EQ(FindInstalledApplication(Keys()).executablePath, ioPath(user + L"\\product.exe"));
}

TEST_F(AppSearcher, LooksNextToTheUninstallerWhenInstallLocationHasNoExecutable) {
    const auto folder = MakeProduct(L"Продукт с пробелом", true, L"Product.EXE");
    const auto elsewhere = MakeProduct(L"elsewhere", false);
    // Quoted path with arguments holding a slash: only the leading quote goes from the uninstaller path, and the
    // executable is still looked for in the quoted program's folder.
    AddEntry(kUser64, L"4", L"", Quoted(folder) + L" /S");
    AddEntry(kMachine64, L"2", elsewhere, Quoted(folder));

    const auto found = FindInstalledApplication(Keys("product.exe"));
    EXPECT_EQ(found.executablePath, ioPath(folder + L"\\Product.EXE"));
    EXPECT_EQ(found.uninstallerPath, ioPath(folder + L"\\uninstall.exe\" /S"));
}

TEST_F(AppSearcher, UnreadableEntriesAndFoldersCountAsNotFound) {
    const auto file = MakeProduct(L"file", true);
    AddEntry(kUser64, L"9", file + L"\\product.exe", file + L"\\product.exe\\uninstall.exe");  // a file, not a folder
    AddEntry(kUser64, L"8", L"Q:\\missing\\folder", L"Q:\\missing\\folder\\uninstall.exe");
    Nolvar::Core::UniqueRegKey key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (kUninstall + m_prefix + L"7").c_str(), 0, nullptr, 0,
                              KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
    m_made.push_back({kUser64, m_prefix + L"7"});
    const DWORD number = 5;
    RegSetValueExW(key.get(), L"UninstallString", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof(number));
    key.reset();

    const auto found = FindInstalledApplication(Keys());
    EXPECT_TRUE(found.executablePath.empty());
    EXPECT_TRUE(found.uninstallerPath.empty());
}

TEST_F(AppSearcher, NoMatchingEntryGivesEmptyPaths) {
    const auto folder = MakeProduct(L"other", true);
    AddEntry(kUser64, L"1", folder, Quoted(folder));
    SearchKeys keys = Keys();
    keys[Nolvar::kSearchUninstallKeyPrefix] += "X";
    EXPECT_TRUE(FindInstalledApplication(keys).executablePath.empty());
    EXPECT_TRUE(FindInstalledApplication(Keys("missing.exe")).executablePath.empty());
}

TEST(UninstallerPathFromCommand, RemovesTheEnclosingQuotesOnly) {
    using Nolvar::UninstallerPathFromCommand;
    EXPECT_EQ(UninstallerPathFromCommand(L"\"C:\\A B\\u.exe\""), ioPath(L"C:\\A B\\u.exe"));
    EXPECT_EQ(UninstallerPathFromCommand(L"C:\\A\\u.exe"), ioPath(L"C:\\A\\u.exe"));
    EXPECT_EQ(UninstallerPathFromCommand(L"\"C:\\A\\u.exe\" /S"), ioPath(L"C:\\A\\u.exe\" /S"));
    EXPECT_EQ(UninstallerPathFromCommand(L"\""), ioPath());
    EXPECT_EQ(UninstallerPathFromCommand(L""), ioPath());
}

TEST(FindFileInFolder, MatchesWholeNamesIgnoringAsciiCase) {
    Testing::TempFolder temp(L"netsetter-find-Папка-");
    Testing::WriteWholeFile(temp / L"Приложение.EXE", "MZ");
    Testing::WriteWholeFile(temp / L"app.exe.bak", "MZ");
    const ioPath folder(temp.path().wstring());
    EXPECT_EQ(Nolvar::FindFileInFolder(folder, "Приложение.exe"), folder / L"Приложение.EXE");
    EXPECT_TRUE(Nolvar::FindFileInFolder(folder, "app.exe").empty());
    EXPECT_TRUE(Nolvar::FindFileInFolder(folder / L"missing", "app.exe").empty());
    EXPECT_TRUE(Nolvar::FindFileInFolder(ioPath(), "app.exe").empty());
}

TEST(RegistryReader, ReadsLongValuesAndRejectsOtherTypes) {
    const std::wstring subKey = L"Software\\NetsetterTest" + std::to_wstring(GetCurrentProcessId()) + L"Reader";
    Nolvar::Core::UniqueRegKey key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, subKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
    const std::wstring longText(1000, L'ж');
    RegSetValueExW(key.get(), L"long", 0, REG_SZ, reinterpret_cast<const BYTE*>(longText.c_str()),
                   static_cast<DWORD>((longText.size() + 1) * sizeof(wchar_t)));
    const wchar_t embedded[] = L"front\0back";
    RegSetValueExW(key.get(), L"embedded", 0, REG_SZ, reinterpret_cast<const BYTE*>(embedded), sizeof(embedded));
    const DWORD number = 7;
    RegSetValueExW(key.get(), L"number", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof(number));
    key.reset();

    const Nolvar::Core::UniqueRegKey root = Nolvar::OpenRegistryKey(HKEY_CURRENT_USER, L"Software", KEY_READ);
    ASSERT_TRUE(root);
    const std::wstring relative = subKey.substr(std::wstring(L"Software\\").size());
    EXPECT_EQ(Nolvar::ReadRegistryString(root.get(), relative, L"long"), longText);
    EXPECT_EQ(Nolvar::ReadRegistryString(root.get(), relative, L"embedded"), L"front");
    EXPECT_EQ(Nolvar::ReadRegistryString(root.get(), relative, L"number"), L"");
    EXPECT_EQ(Nolvar::ReadRegistryString(root.get(), relative, L"absent"), L"");
    EXPECT_EQ(Nolvar::ReadRegistryString(root.get(), L"NoSuchKeyAnywhere", L"long"), L"");
    EXPECT_FALSE(Nolvar::EnumRegistrySubKey(root.get(), 0, 1).empty());  // buffer grows on demand
    RegDeleteKeyW(HKEY_CURRENT_USER, subKey.c_str());
}

} // namespace
