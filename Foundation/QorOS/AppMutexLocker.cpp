#include "QorOS/AppMutexLocker.h"

#include "QorString/Utf.h"

namespace Nolvar::Util {

AppMutexLocker::AppMutexLocker(const std::string& name) {
    std::wstring wide = L"Local\\" + Core::WstringFromUtf8(name);
    // Backslashes are not allowed after the namespace prefix.
    for (size_t i = 6; i < wide.size(); ++i)
        if (wide[i] == L'\\') wide[i] = L'_';
    m_mutex.reset(CreateMutexW(nullptr, FALSE, wide.c_str()));
}

AppMutexLocker::~AppMutexLocker() {
    release();
}

bool AppMutexLocker::acquire(std::uint32_t timeoutMs) {
    if (!m_mutex) return false;
    if (m_owned) return true;
    const DWORD result = WaitForSingleObject(m_mutex.get(), timeoutMs);
    m_owned = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
    return m_owned;
}

void AppMutexLocker::release() {
    if (m_owned && m_mutex) ReleaseMutex(m_mutex.get());
    m_owned = false;
}

} // namespace Nolvar::Util
