#include <gtest/gtest.h>

#include "utils/Settings.h"
#include "utils/Localization.h"

using namespace Nolvar;

TEST(Localization, EveryIdHasATextInBothLocalesExcept38) {
    EXPECT_EQ(AvailableLocales(), (std::vector<std::string>{"en-US", "ru-RU"}));
    for (const std::string& locale : AvailableLocales()) {
        for (int id = 1; id <= 43; ++id) {
            if (id == 38) {
                EXPECT_TRUE(LookupText(locale, id).empty());
                EXPECT_TRUE(Tr(id, locale).empty());
            } else {
                EXPECT_FALSE(LookupText(locale, id).empty()) << locale << " " << id;
            }
        }
        EXPECT_TRUE(LookupText(locale, 44).empty());
        EXPECT_TRUE(Tr(0, locale).empty());
    }
    EXPECT_EQ(LookupText("en-US", 12), L"Welcome to the Nolvaria Software Installer");
    EXPECT_EQ(LookupText("ru-RU", 12), L"Добро пожаловать в установщик программ Nolvaria");
    EXPECT_EQ(LookupText("en-US", 42), L"By clicking \"Install\", you are agreeing to the terms of the");
    EXPECT_EQ(LookupText("ru-RU", 42), L"Нажимая «Установить», вы соглашаетесь с условиями");
    EXPECT_EQ(LookupText("ru-RU", 14), L"Русский");
    EXPECT_EQ(LookupText("en-US", 26), LookupText("en-US", 25));
    EXPECT_EQ(LookupText("ru-RU", 30), LookupText("ru-RU", 24));
    EXPECT_EQ(LookupText("en-US", 9), L"Installing, please wait (__PERCENT__% finished)");
    EXPECT_TRUE(LookupText("de-DE", 7).empty());
    EXPECT_TRUE(LookupText("EN-US", 7).empty());
}

TEST(Localization, UnknownLocaleFallsBackToTheDefaultLocale) {
    EXPECT_EQ(Tr(7, "de-DE"), LookupText(DefaultLocale(), 7));
    Settings::Set(Settings::ID::Locale, std::any(std::string("ru-RU")));
    EXPECT_EQ(Tr(7), L"Установить");
    EXPECT_TRUE(Tr(38).empty());
    Settings::Set(Settings::ID::Locale, std::any(std::string("de-DE")));
    EXPECT_EQ(Tr(7), LookupText(DefaultLocale(), 7));
    Settings::Set(Settings::ID::Locale, std::any(std::string("en-US")));
    EXPECT_EQ(Tr(7), L"Install");
}

TEST(Localization, DefaultLocaleFromThePreferredLanguage) {
    EXPECT_EQ(Detail::ChooseLocale(""), "en-US");
    EXPECT_EQ(Detail::ChooseLocale("ru-RU"), "ru-RU");
    EXPECT_EQ(Detail::ChooseLocale("ru-UA"), "ru-RU");
    EXPECT_EQ(Detail::ChooseLocale("en-GB"), "en-US");
    EXPECT_EQ(Detail::ChooseLocale("EN-us"), "en-US"); // no match at all: the fallback
    EXPECT_EQ(Detail::ChooseLocale("RU-ru"), "en-US");
    EXPECT_EQ(Detail::ChooseLocale("de-DE"), "en-US");
    EXPECT_EQ(Detail::ChooseLocale("ru"), "en-US"); // no dash: only an exact match counts
    EXPECT_EQ(DefaultLocale(), Detail::ChooseLocale(PreferredUiLanguage()));
    EXPECT_EQ(DefaultLocale(), DefaultLocale());
    EXPECT_FALSE(UserDefaultLocaleName().empty());
}

TEST(Localization, RetryTextOfExitStates) {
    EXPECT_EQ(RetryTextIdForExitState(-1), 24);
    EXPECT_EQ(RetryTextIdForExitState(0), 0);
    EXPECT_EQ(RetryTextIdForExitState(1), 24);
    EXPECT_EQ(RetryTextIdForExitState(2), 25);
    EXPECT_EQ(RetryTextIdForExitState(4), 27);
    EXPECT_EQ(RetryTextIdForExitState(8), 31);
    EXPECT_EQ(RetryTextIdForExitState(9), 24);
}
