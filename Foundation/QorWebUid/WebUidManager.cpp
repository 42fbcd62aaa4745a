#include "QorWebUid/WebUidManager.h"

#include <glog/logging.h>
#include <nlohmann/json.hpp>

#include "QorNetworking/BoundedBody.h"
#include "QorNetworking/HttpClient.h"
#include "QorWebUid/WebUidFormat.h"
#include "QorWebUid/WebUidRegistry.h"

#ifndef NETSETTER_WEBUID_SERVICE_URL
#define NETSETTER_WEBUID_SERVICE_URL "https://webuid.netsetter.example/v1"
#endif

namespace Nolvar::App {

namespace {

std::unique_ptr<Networking::IHttpClient> MakeClient(const WebUidManager::Parameters& parameters) {
    std::shared_ptr<Networking::IHttpClient> client = Networking::createHttpClient();
    if (parameters.useSystemProxy) client = Networking::addSystemProxyAdapter(client);
    Networking::Headers headers(parameters.headers.begin(), parameters.headers.end());
    return Networking::addAdapterWithHeader(client, headers);
}

Networking::Options MakeOptions(const WebUidManager::Parameters& parameters) {
    Networking::Options options;
    options.timeout = parameters.timeoutMs * 1000;
    options.connectTimeout = static_cast<std::int32_t>((parameters.timeoutMs + 999) / 1000);
    options.maxRedirects = parameters.maxRedirects;
    return options;
}

// The service answers with a few short texts; anything longer is not its answer.
constexpr std::size_t kMaxAnswerSize = 64 * 1024;

void LogTooLong(const char* what) {
    LOG(WARNING) << "Web user id service: " << what << " failed, the answer is longer than " << kMaxAnswerSize
                 << " bytes";
}

void LogFailure(const char* what, const Networking::Response& response) {
    LOG(WARNING) << "Web user id service: " << what << " failed, error " << response.error.code
                 << ", status " << response.statusCode;
}

} // namespace

std::string WebUidManager::DefaultServiceUrl() {
    return NETSETTER_WEBUID_SERVICE_URL;
}

WebUidManager::WebUidManager(const Parameters& parameters)
    : m_parameters(parameters), m_client(MakeClient(parameters)) {}

WebUidManager::~WebUidManager() = default;

std::map<std::string, std::string> WebUidManager::getLastConnectionInfo() const {
    return m_lastConnectionInfo;
}

std::string WebUidManager::getUserWebUid() {
    std::string webUid = getWebUidFromRegistryKey(kUserSubKey, {});
    return IsWebUidFormat(webUid) ? webUid : std::string();
}

std::string WebUidManager::getWebUidFromRegistryKey(const std::string& subKey, const std::string& brand) {
    return ReadWebUidValue(brand.empty() ? m_parameters.brand : brand, subKey);
}

bool WebUidManager::isValidWebUid(const std::string& webUid) const {
    return IsWebUidFormat(webUid);
}

std::string WebUidManager::endpoint(const std::string& path) const {
    std::string base = m_parameters.serviceUrl;
    while (!base.empty() && base.back() == '/') base.pop_back();
    return base + path;
}

std::string WebUidManager::requestWebUid(const std::map<std::string, std::string>& params) const {
    Networking::Request request;
    request.url = Networking::Url(endpoint("/webuid"));
    request.parameters = params;
    Networking::Response response;
    Networking::BoundedBody body(kMaxAnswerSize);
    m_client->get(response, request, body.attachTo(MakeOptions(m_parameters)));
    m_lastConnectionInfo = response.connectionMetrics;
    if (body.exceeded()) {
        LogTooLong("new id request");
        return {};
    }
    if (response.error.code != Networking::Error::NoError || response.statusCode != 200) {
        LogFailure("new id request", response);
        return {};
    }
    const auto answer = nlohmann::json::parse(body.text(), nullptr, false);
    if (answer.is_object() && answer.contains("webuid") && answer["webuid"].is_string()) {
        std::string webUid = answer["webuid"].get<std::string>();
        if (IsWebUidFormat(webUid)) return webUid;
    }
    LOG(WARNING) << "Web user id service: the answer holds no usable id";
    return {};
}

bool WebUidManager::concatenateWebUids(const std::string& webUid, const std::set<std::string>& others) const {
    if (!IsWebUidFormat(webUid) || others.empty()) return false;
    nlohmann::json body = {{"webuid", webUid}, {"merge", nlohmann::json::array()}};
    for (const auto& other : others) {
        if (IsWebUidFormat(other) && other != webUid) body["merge"].push_back(other);
    }
    if (body["merge"].empty()) return false;

    Networking::Request request;
    request.url = Networking::Url(endpoint("/webuid/merge"));
    request.headers["Content-Type"] = "application/json";
    Networking::Response response;
    Networking::BoundedBody answer(kMaxAnswerSize);
    m_client->post(response, request, body.dump(), answer.attachTo(MakeOptions(m_parameters)));
    m_lastConnectionInfo = response.connectionMetrics;
    if (answer.exceeded()) {
        LogTooLong("merge");
        return false;
    }
    if (response.error.code != Networking::Error::NoError || response.statusCode != 200) {
        LogFailure("merge", response);
        return false;
    }
    return true;
}

} // namespace Nolvar::App
