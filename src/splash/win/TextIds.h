#pragma once
// Ids of the UI texts the window and its widgets show (the text table and Tr are in utils/Localization). An id
// converts to the int that Tr and the widgets take.
namespace Nolvar::UiText {

enum Id : int {
    None = 0,
    AlmostReady = 2,            // "Almost done. Getting everything ready"
    AlreadyRunning = 3,         // with __PRODUCT_DISPLAY_NAME__
    CloseProduct = 4,           // with __PRODUCT_DISPLAY_NAME__
    Cancel = 5,
    NoConnection = 6,
    Install = 7,
    InstallationFolder = 8,
    InstallingPercent = 9,      // with __PERCENT__
    LanguageName = 14,          // each locale's own name
    No = 15,
    Ok = 16,
    WrongPlatform = 17,         // with __PLATFORM__
    TryAgain = 18,
    SelectLanguage = 20,
    InstallationSettings = 21,
    Skip = 22,
    Start = 32,
    CancelQuestion = 35,
    Yes = 36,
    PleaseWait = 37,
    NotEnoughSpace = 41,        // with __REQUIRED_SPACE__
    AgreementNotice = 42,       // "By clicking "Install", you are agreeing to the terms of the"
    LicenceAgreement = 43,
};

} // namespace Nolvar::UiText
