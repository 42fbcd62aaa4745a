#pragma once
#include <memory>
#include <string>
#include <utility>

#include "QorNetworking/HttpVersion.h"
#include "QorNetworking/IHttpClient.h"
#include "QorNetworking/Url.h"
#include "Tracking/Tallivo/Impl/ISender.h"
#include "Tracking/Tallivo/TallivoApi.h"

namespace Nolvar::Tracking::Instant {

// POSTs batches as JSON through the system proxy, with one extra header on every request.
class TALLIVO_API Sender : public ISender {
public:
    // Without a client, the WinHTTP client is made.
    Sender(const Networking::Url& url, const std::pair<std::string, std::string>& extraHeader,
           Networking::HttpVersion version, const std::shared_ptr<Networking::IHttpClient>& client = nullptr);

    Response send(const std::string& batch, const StopCheck& stop) const override;

    // The rate-limit headers of an answer (names without regard to case).
    static Response::Headers parseHeaders(const Networking::Headers& headers);
    // The "success" and "disabled" flags of an answer body.
    static Response::Answer parseAnswer(const std::string& body);

private:
    Networking::Url m_url;
    std::shared_ptr<Networking::IHttpClient> m_client;
};

} // namespace Nolvar::Tracking::Instant
