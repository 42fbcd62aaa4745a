#pragma once
// UI texts of the installer ("en-US", "ru-RU") and the choice of the default locale.
#include <string>
#include <vector>

namespace Nolvar {

// Text `id` in the current locale (setting Locale), falling back to the default locale.
std::wstring Tr(int id);
// Text `id` for `locale`, falling back to the default locale; empty for id 0 or an unknown id.
std::wstring Tr(int id, const std::string& locale);
// Text of the table; empty when the locale or the id is not there.
std::wstring LookupText(const std::string& locale, int id);

// The locale of the user's first preferred UI language, or "en-US"; computed once per process.
std::string DefaultLocale();
// "en-US", "ru-RU".
std::vector<std::string> AvailableLocales();
// First of the user's preferred UI languages ("" when unknown).
std::string PreferredUiLanguage();
// The user's default locale name.
std::string UserDefaultLocaleName();

// Text id of the retry pop-up for an installer exit state (0 for none).
int RetryTextIdForExitState(int exitState);

namespace Detail {
// The default-locale rule applied to a preferred UI language.
std::string ChooseLocale(const std::string& preferredLanguage);
} // namespace Detail

} // namespace Nolvar
