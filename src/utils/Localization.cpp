#include "utils/Localization.h"

#include <windows.h>

#include <iostream>
#include <map>
#include <stdexcept>

#include <fmt/format.h>

#include "QorString/Utf.h"
#include "utils/Settings.h"

namespace Nolvar {
namespace {

using Texts = std::map<int, std::string>;

constexpr char kBrandWord[] = "Nolvaria";

const std::string kSomethingWrongEn = "Something went wrong\nPlease try again or contact our Support Center.";
const std::string kSomethingWrongRu =
    "Что-то пошло не так\nПопробуйте еще раз или обратитесь в наш центр поддержки.";
const std::string kCanceledEn = "Installation canceled\nYou've stopped the installation but you can restart it any time.";
const std::string kCanceledRu = "Установка отменена\nВы отменили установку, но можете вернуться к ней в любой момент.";

const std::map<std::string, Texts> TextTable = {
    {"en-US",
     {
         {1, "I accept the EULA"},
         {2, "Almost done. Getting everything ready"},
         {3, "Installer for bundle __PRODUCT_DISPLAY_NAME__ already running.\nPlease wait for previous installer completion"},
         {4, "Close __PRODUCT_DISPLAY_NAME__ to continue installation"},
         {5, "Cancel"},
         {6, "You need to be connected to the Internet to download the program."},
         {7, "Install"},
         {8, "Installation folder:"},
         {9, "Installing, please wait (__PERCENT__% finished)"},
         {10, "Installing, please wait…"},
         {11, "Copying files, please wait…"},
         {12, fmt::format("Welcome to the {} Software Installer", kBrandWord)},
         {13, "Version __PRODUCT_VERSION__"},
         {14, "English"},
         {15, "No"},
         {16, "OK"},
         {17, "Sorry, this product will not work on your PC.\nInstallation requires a __PLATFORM__-bit version of Windows."},
         {18, "Try Again"},
         {19, "Select folder"},
         {20, "Select a language:"},
         {21, "Installation settings"},
         {22, "Skip"},
         {23, "Cancel the installation?"},
         {24, kSomethingWrongEn},
         {25, kCanceledEn},
         {26, kCanceledEn},
         {27, "Installation paused\nTo continue, close __RETRY_PRODUCT__ and try again."},
         {28, "Uninstall paused\nTo continue, close __RETRY_PRODUCT__ and restart the process."},
         {29, kSomethingWrongEn},
         {30, kSomethingWrongEn},
         {31, "Couldn't find this folder\nCheck the path, make sure you have write access, and try again."},
         {32, "Start!"},
         {33, "OK"},
         {34, "Back"},
         {35, "Cancel the installation?"},
         {36, "Yes"},
         {37, "Please wait..."},
         {39, "Yes"},
         {40, "Continue"},
         {41, "There is not enough space on drive. Please free up at least __REQUIRED_SPACE__ MB and try again"},
         {42, "By clicking \"Install\", you are agreeing to the terms of the"},
         {43, "License agreement"},
     }},
    {"ru-RU",
     {
         {1, "Соглашаюсь с EULA"},
         {2, "Почти готово. Ждать осталось совсем недолго"},
         {3, "Программа установки продукта __PRODUCT_DISPLAY_NAME__ уже запущена.\nДождитесь завершения предыдущей установки"},
         {4, "Закройте __PRODUCT_DISPLAY_NAME__, чтобы продолжить установку"},
         {5, "Отменить"},
         {6, "Подключитесь к интернету, чтобы скачать программу."},
         {7, "Установить"},
         {8, "Папка установки:"},
         {9, "Идет установка, подождите (__PERCENT__% завершено)"},
         {10, "Идет установка, подождите…"},
         {11, "Подождите, идет копирование файлов…"},
         {12, fmt::format("Добро пожаловать в установщик программ {}", kBrandWord)},
         {13, "Версия __PRODUCT_VERSION__"},
         {14, "Русский"},
         {15, "Нет"},
         {16, "OK"},
         {17, "Извините, эта программа не может работать на вашем компьютере.\nДля установки требуется __PLATFORM__-битная версия Windows."},
         {18, "Повторить"},
         {19, "Выберите папку"},
         {20, "Выберите язык:"},
         {21, "Параметры установки"},
         {22, "Пропустить"},
         {23, "Отменить установку?"},
         {24, kSomethingWrongRu},
         {25, kCanceledRu},
         {26, kCanceledRu},
         {27, "Установка приостановлена\nДля продолжения закройте __RETRY_PRODUCT__ и попробуйте еще раз."},
         {28, "Удаление приостановлено\nДля продолжения закройте __RETRY_PRODUCT__ и попробуйте еще раз."},
         {29, kSomethingWrongRu},
         {30, kSomethingWrongRu},
         {31, "Не удалось найти указанную папку\nПроверьте путь и права доступа к папке и попробуйте еще раз."},
         {32, "Запустить!"},
         {33, "OK"},
         {34, "Назад"},
         {35, "Отменить установку?"},
         {36, "Да"},
         {37, "Пожалуйста, подождите..."},
         {39, "Да"},
         {40, "Продолжить"},
         {41, "Недостаточно места на диске. Освободите не менее __REQUIRED_SPACE__ МБ и попробуйте снова"},
         {42, "Нажимая «Установить», вы соглашаетесь с условиями"},
         {43, "Лицензионного соглашения"},
     }},
};

const std::map<int, int> ErrorTextIds = {{1, 24}, {2, 25}, {3, 26}, {4, 27}, {5, 28}, {6, 29}, {7, 30}, {8, 31}};

} // namespace

std::wstring LookupText(const std::string& locale, int id) {
    const auto texts = TextTable.find(locale);
    if (texts == TextTable.end()) return {};
    const auto text = texts->second.find(id);
    return text == texts->second.end() ? std::wstring() : Core::WstringFromUtf8(text->second);
}

std::wstring Tr(int id, const std::string& locale) {
    if (id == 0) return {};
    std::wstring text = LookupText(locale, id);
    if (!text.empty()) return text;
    const std::string fallback = DefaultLocale();
    return fallback.empty() ? std::wstring() : LookupText(fallback, id);
}

std::wstring Tr(int id) { return Tr(id, GetCurrentLocale()); }

std::vector<std::string> AvailableLocales() {
    std::vector<std::string> locales;
    for (const auto& [locale, texts] : TextTable) locales.push_back(locale);
    return locales;
}

std::string PreferredUiLanguage() {
    ULONG count = 0;
    ULONG size = 0;
    if (!GetUserPreferredUILanguages(MUI_LANGUAGE_NAME, &count, nullptr, &size) || size == 0) return {};
    std::wstring buffer(size, L'\0');
    if (!GetUserPreferredUILanguages(MUI_LANGUAGE_NAME, &count, buffer.data(), &size)) return {};
    return Core::Utf8FromWstring(buffer.c_str()); // the first name of the zero-separated list
}

std::string UserDefaultLocaleName() {
    wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
    if (GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH) == 0) return {};
    return Core::Utf8FromWstring(name);
}

namespace Detail {

std::string ChooseLocale(const std::string& language) {
    if (language.empty()) return "en-US";
    const std::vector<std::string> available = AvailableLocales();
    for (const auto& locale : available)
        if (locale == language) return locale;
    const auto dash = language.find('-');
    if (dash != std::string::npos) {
        const std::string prefix = language.substr(0, dash);
        for (const auto& locale : available)
            if (locale.compare(0, prefix.size(), prefix) == 0) return locale;
    }
    return "en-US";
}

} // namespace Detail

std::string DefaultLocale() {
    static const std::string locale = [] {
        try {
            return Detail::ChooseLocale(PreferredUiLanguage());
        } catch (const std::exception& error) {
            std::cout << "defaultLocale initialization exception: " << error.what() << std::endl;
            return std::string("en-US");
        }
    }();
    return locale;
}

int RetryTextIdForExitState(int exitState) {
    if (exitState == 0) return 0;
    const auto it = ErrorTextIds.find(exitState);
    return it == ErrorTextIds.end() ? 24 : it->second;
}

} // namespace Nolvar
