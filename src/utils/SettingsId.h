#pragma once
// Identifiers of the installer's settings.
namespace Nolvar::Settings {

enum class ID : int {
    BrandName = 0,
    BuildName = 1,
    DisableAutostart = 2,
    InstalledWithIpcIds = 3,
    BundleName = 4,
    PlatformType = 5,
    BundleVersion = 6,
    ConfigFile = 7,
    ConfigName = 8,
    ConfigUrl = 9,
    Debug = 10,
    DebugInfo = 11,
    DistribName = 12,
    HardwareId = 13,
    InstallFolder = 15,
    Locale = 16,
    LogPath = 17,
    MainWindow = 18,
    ModuleName = 19,
    OsBits = 20,
    OsNameVersion = 21,
    Partner = 22,
    PreferredBrowser = 23,
    ProductId = 24,
    ProductDisplayName = 25,
    ProductVersion = 26,
    StagingToken = 27,
    TestingCrash = 28,
    UserAgentHeader = 29,
    InstallerVersion = 30,
    WebUid = 31,
    LocaleWide = 32,
};

} // namespace Nolvar::Settings
