#include "Tracking/Tallivo/Impl/Sender.h"

#include <algorithm>
#include <optional>
#include <sstream>
#include <typeinfo>

#include <glog/logging.h>
#include <nlohmann/json.hpp>

#include "QorNetworking/BoundedBody.h"
#include "QorNetworking/HttpClient.h"

namespace Nolvar::Tracking::Instant {

namespace {

constexpr const char* kLimitHeader = "X-RateLimit-Limit";
constexpr const char* kRemainingHeader = "X-RateLimit-Remaining";
constexpr const char* kRetryAfterHeader = "X-RateLimit-Retry-After";

template <class Number>
std::optional<Number> ReadHeader(const Networking::Headers& headers, const char* name) {
    const auto it = headers.find(name);
    if (it == headers.end()) {
        VLOG(30) << "Headers miss entry: " << name;
        return std::nullopt;
    }
    // Leading blanks and text after the number are accepted ("30 s" reads 30); a number out of range is not.
    std::istringstream stream(it->second);
    Number value{};
    stream >> value;
    if (stream.fail()) {
        VLOG(30) << "String conversion to " << typeid(Number).name() << " failed. String: " << it->second;
        return std::nullopt;
    }
    return value;
}

// The server's answer is a short JSON object; anything longer is not its answer.
constexpr std::size_t kMaxAnswerSize = 64 * 1024;

Networking::Options UploadOptions(const ISender::StopCheck& stop) {
    Networking::Options options;
    options.lowSpeedLimit = 1024;
    options.connectTimeout = 5;
    options.timeout = 30'000'000;
    options.followRedirects = true;
    options.maxRedirects = 50;
    options.lowSpeedTime = 20'000;
    options.keepAlive = true;
    options.httpVersion = Networking::HttpVersion::Default;
    options.stop = stop;
    return options;
}

} // namespace

Sender::Sender(const Networking::Url& url, const std::pair<std::string, std::string>& extraHeader,
               Networking::HttpVersion version, const std::shared_ptr<Networking::IHttpClient>& client)
    : m_url(url), m_client(client) {
    if (!m_client) m_client = Networking::createHttpClient(Networking::HttpClientType::WinHttp);
    m_client = Networking::addSystemProxyAdapter(m_client);
    m_client = Networking::addAdapterWithHeader(m_client, Networking::Headers{{extraHeader.first, extraHeader.second}});
    m_client = Networking::addHttpVersionAdapter(m_client, version);
}

ISender::Response Sender::send(const std::string& batch, const StopCheck& stop) const {
    Networking::Request request;
    request.url = m_url;
    request.headers = {{"Content-Type", "application/json"}};
    Networking::Response answer;
    Networking::BoundedBody body(kMaxAnswerSize);
    m_client->post(answer, request, batch, body.attachTo(UploadOptions(stop)));

    Response response;
    if (body.exceeded()) {
        VLOG(30) << "Sender failed to send statistics. The answer is longer than " << kMaxAnswerSize
                 << " bytes. Request url: " << m_url.toString();
        response.kind = ResponseKind::TransportError;
        response.networkError = answer.error.code;
        return response;
    }
    response.status = answer.statusCode;
    if (answer.error.code != Networking::Error::NoError) {
        VLOG(30) << "Sender failed to send statistics. Error code: " << answer.error.code
                 << " Error message: " << answer.error.message << " Request url: " << m_url.toString();
        response.kind = ResponseKind::TransportError;
        response.networkError = answer.error.code;
        return response;
    }
    response.status = answer.statusCode;
    if (answer.statusCode == 200) {
        response.kind = ResponseKind::Ok;
    } else {
        VLOG(30) << "Server error occurred. Status code: " << answer.statusCode;
        switch (answer.statusCode) {
        case 400: response.kind = ResponseKind::BadRequest; break;
        case 429: response.kind = ResponseKind::TooManyRequests; break;
        case 500: response.kind = ResponseKind::ServerError; break;
        default: response.kind = ResponseKind::OtherStatus; break;
        }
    }
    response.headers = parseHeaders(answer.headers);
    response.answer = parseAnswer(body.text());
    return response;
}

ISender::Response::Headers Sender::parseHeaders(const Networking::Headers& headers) {
    const auto limit = ReadHeader<std::uint64_t>(headers, kLimitHeader);
    const auto remaining = ReadHeader<std::uint64_t>(headers, kRemainingHeader);
    const auto retryAfter = ReadHeader<std::int32_t>(headers, kRetryAfterHeader);
    Response::Headers result;
    if (!limit || !remaining || !retryAfter) {
        VLOG(30) << "Failed to parse response headers";
        return result;
    }
    result.valid = true;
    result.limit = *limit;
    result.remaining = *remaining;
    result.retryAfter = std::min<std::int64_t>(*retryAfter, kMaxRetryAfter);
    return result;
}

ISender::Response::Answer Sender::parseAnswer(const std::string& body) {
    Response::Answer answer;
    try {
        const auto json = nlohmann::json::parse(body);
        answer.success = json.at("success").get<bool>();
        answer.disabled = json.at("disabled").get<bool>();
        answer.parsed = true;
    } catch (const std::exception& e) {
        VLOG(30) << "Failed to parse server reply " << e.what() << "\nServer reply: " << body;
        return {};
    }
    return answer;
}

} // namespace Nolvar::Tracking::Instant
