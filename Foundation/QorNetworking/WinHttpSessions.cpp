#include "QorNetworking/WinHttpSessions.h"

#include <glog/logging.h>

#include "QorNetworking/WinHttpExchange.h"

namespace Nolvar::Networking::Detail {
namespace {

// The proxy is used for loopback addresses too.
constexpr const wchar_t* kProxyBypass = L"<-loopback>";

} // namespace

WinHttp::Result<WinHttpSessions::Session> WinHttpSessions::get(const std::wstring& agent, const std::wstring& proxy) {
    std::lock_guard lock(m_mutex);
    auto& session = m_sessions[{agent, proxy}];
    if (session) return session;

    auto opened = WinHttp::Open(agent, proxy, kProxyBypass);
    if (!opened) return opened.error();
    if (auto set = WinHttp::SetStatusCallback(opened->get(), &Exchange::OnStatus, Exchange::kNotifications); !set)
        return set.error();
    // Some options are unimplemented in some WinHTTP versions (Wine's); requests work without this one.
    if (auto set = WinHttp::SetOption(opened->get(), WINHTTP_OPTION_REDIRECT_POLICY,
                                      WINHTTP_OPTION_REDIRECT_POLICY_NEVER);
        !set)
        VLOG(1) << "WinHTTP redirect policy not applied, error " << set.error().value();
    session = std::make_shared<const UniqueInternetHandle>(std::move(*opened));
    return session;
}

} // namespace Nolvar::Networking::Detail
