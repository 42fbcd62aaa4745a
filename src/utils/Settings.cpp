#include "utils/Settings.h"

#include <map>
#include <mutex>

#include "QorExecution/ObserverList.h"
#include "QorString/Utf.h"

namespace Nolvar::Settings {
namespace {

class Store {
public:
    static Store& Instance() {
        static Store store;
        return store;
    }

    std::any Get(ID id) {
        std::lock_guard lock(m_mutex);
        auto it = m_values.find(id);
        return it == m_values.end() ? m_empty : it->second;
    }

    void Set(ID id, const std::any& value) {
        {
            std::lock_guard lock(m_mutex);
            m_values[id] = value;
            if (id == ID::Locale) m_values[ID::LocaleWide] = Core::WstringFromUtf8(std::any_cast<const std::string&>(value));
        }
        // One notification round at a time; recursive, so an observer may write a setting on its thread.
        std::lock_guard notifying(m_notifying);
        m_observers.notify([&](ISettingsObserver* observer) { observer->OnSettingChanged(id, value); });
    }

    Core::ObserverList<ISettingsObserver>& Observers() { return m_observers; }

private:
    std::map<ID, std::any> m_values;
    const std::any m_empty;
    std::mutex m_mutex;
    std::recursive_mutex m_notifying;
    Core::ObserverList<ISettingsObserver> m_observers;
};

template <class T>
T GetTyped(ID id, const T& defaultValue) {
    const std::any value = Store::Instance().Get(id);
    if (!value.has_value()) return defaultValue;
    return std::any_cast<T>(value);
}

} // namespace

std::any Get(ID id) { return Store::Instance().Get(id); }
void Set(ID id, const std::any& value) { Store::Instance().Set(id, value); }

std::string GetString(ID id, const std::string& defaultValue) { return GetTyped(id, defaultValue); }
ioPath GetPath(ID id, const ioPath& defaultValue) { return GetTyped(id, defaultValue); }
std::wstring GetWideString(ID id, const std::wstring& defaultValue) { return GetTyped(id, defaultValue); }

void Subscribe(ISettingsObserver* observer) { Store::Instance().Observers().add(observer); }
void Unsubscribe(ISettingsObserver* observer) { Store::Instance().Observers().remove(observer); }

} // namespace Nolvar::Settings

namespace Nolvar {

std::string GetCurrentLocale() { return Settings::GetString(Settings::ID::Locale, ""); }

} // namespace Nolvar
