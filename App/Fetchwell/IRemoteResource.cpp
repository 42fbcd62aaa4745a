#include "App/Fetchwell/IRemoteResource.h"

#include <cmath>

#include <fmt/format.h>

namespace Nolvar::App {

std::string IRemoteResource::statusToString(DownloadStatus status) {
    switch (status) {
    case Downloading: return "Downloading";
    case Available: return "Available";
    case TryAgain: return "TryAgain";
    case Error: return "Error";
    default: return {};
    }
}

std::string IRemoteResource::downloadErrorToString(DownloadError error) {
    switch (error) {
    case GeneralError: return "GeneralError";
    case Cancelled: return "Cancelled";
    case Corrupted: return "Corrupted";
    case InternetConnectionLost: return "InternetConnectionLost";
    case NoSpaceLeft: return "NoSpaceLeft";
    default: return {};
    }
}

std::string IRemoteResource::networkErrorToString(const Networking::Error& error) {
    switch (error.code) {
    case 1: return "CONNECTION_FAILURE";
    case 2: return "EMPTY_RESPONSE";
    case 3: return "HOST_RESOLUTION_FAILURE";
    case 4: return "INTERNAL_ERROR";
    case 5: return "INVALID_URL_FORMAT";
    case 6: return "NETWORK_RECEIVE_ERROR";
    case 7: return "NETWORK_SEND_FAILURE";
    case 8: return "OPERATION_TIMEDOUT";
    case 9: return "PROXY_RESOLUTION_FAILURE";
    case 10: return "SSL_CONNECT_ERROR";
    case 11: return "SSL_LOCAL_CERTIFICATE_ERROR";
    case 12: return "SSL_REMOTE_CERTIFICATE_ERROR";
    case 13: return "GENERIC_SSL_ERROR";
    case 14: return "UNSUPPORTED_PROTOCOL";
    case 15: return "REQUEST_CANCELLED";
    case 16: return "TOO_MANY_REDIRECTS";
    case 1000: return "UNKNOWN_ERROR";
    case 1001: return "NOT_INITIALIZED";
    default: return {};
    }
}

std::string IRemoteResource::State::toDebugString() const {
    const double shown = std::isfinite(percent) ? percent * 100.0 : 0.0;
    return fmt::format("Status: {}, downloadError: {}, networkError {}, percent {}%", statusToString(status),
                       downloadErrorToString(downloadError), networkErrorToString(networkError),
                       static_cast<long long>(shown));
}

} // namespace Nolvar::App
