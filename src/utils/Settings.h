#pragma once
// The process-wide settings store: one value per Settings::ID, observers notified on every write.
#include <any>
#include <string>

#include "QorFilesystem/Path.h"
#include "utils/SettingsId.h"

namespace Nolvar {

class ISettingsObserver {
public:
    virtual ~ISettingsObserver() = default;
    // Called on the writing thread, outside the store's lock; may read and write settings.
    virtual void OnSettingChanged(Settings::ID id, const std::any& value) = 0;
};

namespace Settings {

// Copy of the stored value; empty when the id was never written.
std::any Get(ID id);
// Stores the value and notifies every observer (also when the value did not change). A write of Locale also
// stores its UTF-16 copy under LocaleWide; only Locale is notified. Throws std::bad_any_cast for a Locale that
// is not text.
void Set(ID id, const std::any& value);

// Typed readers: the default when unset, std::bad_any_cast when the id holds another type.
std::string GetString(ID id, const std::string& defaultValue);
ioPath GetPath(ID id, const ioPath& defaultValue);
std::wstring GetWideString(ID id, const std::wstring& defaultValue);

// An unsubscribed observer is never called afterwards (see Core::ObserverList).
void Subscribe(ISettingsObserver* observer);
void Unsubscribe(ISettingsObserver* observer);

} // namespace Settings

// The current UI locale ("en-US", "ru-RU", ...), empty when none is set.
std::string GetCurrentLocale();

} // namespace Nolvar
