#include "QorNetworking/WinHttpErrors.h"

#include <winhttp.h>

#include <string>

namespace Nolvar::Networking::Detail {
namespace {

const char* PhaseName(RequestPhase phase) {
    switch (phase) {
    case RequestPhase::Setup: return "preparing the request";
    case RequestPhase::Send: return "sending the request";
    case RequestPhase::ReceiveHeaders: return "waiting for the answer";
    case RequestPhase::ReceiveBody: return "receiving the body";
    }
    return "";
}

// A connection that broke: while connecting it never was one, later it failed the side that was moving data.
std::int32_t BrokenConnection(RequestPhase phase) {
    switch (phase) {
    case RequestPhase::Setup: return Error::ConnectionFailure;
    case RequestPhase::Send: return Error::NetworkSendFailure;
    default: return Error::NetworkReceiveError;
    }
}

std::int32_t CodeFor(DWORD error, RequestPhase phase, DWORD secureFailureFlags, bool viaProxy) {
    switch (error) {
    case ERROR_WINHTTP_CANNOT_CONNECT:
    // Socket and system errors some WinHTTP versions (Wine's) pass through unchanged.
    case WSAECONNREFUSED:
    case WSAENETDOWN:
    case WSAENETUNREACH:
    case WSAEHOSTUNREACH:
    case WSAEHOSTDOWN:
    case WSAEADDRNOTAVAIL:
    case ERROR_CONNECTION_REFUSED:
    case ERROR_NETWORK_UNREACHABLE:
    case ERROR_HOST_UNREACHABLE:
        return Error::ConnectionFailure;
    case ERROR_WINHTTP_CONNECTION_ERROR:
        return phase == RequestPhase::Send ? Error::NetworkSendFailure : Error::NetworkReceiveError;
    case WSAECONNRESET:
    case WSAECONNABORTED:
    case WSAENETRESET:
    case WSAESHUTDOWN:
    case WSAENOTCONN:
    case ERROR_CONNECTION_ABORTED:
    case ERROR_NETNAME_DELETED:
    case ERROR_BROKEN_PIPE:
        return BrokenConnection(phase);
    case ERROR_WINHTTP_NAME_NOT_RESOLVED:
    case WSAHOST_NOT_FOUND:
    case WSATRY_AGAIN:
    case WSANO_RECOVERY:
    case WSANO_DATA:
        return viaProxy ? Error::ProxyResolutionFailure : Error::HostResolutionFailure;
    case ERROR_WINHTTP_TIMEOUT:
    case WSAETIMEDOUT:
    case ERROR_TIMEOUT:
    case ERROR_SEM_TIMEOUT:
        return Error::OperationTimedOut;
    case ERROR_WINHTTP_OPERATION_CANCELLED:
        return Error::RequestCancelled;
    case ERROR_WINHTTP_INVALID_URL:
        return Error::InvalidUrlFormat;
    case ERROR_WINHTTP_UNRECOGNIZED_SCHEME:
        return Error::UnsupportedProtocol;
    case ERROR_WINHTTP_INVALID_SERVER_RESPONSE:
        return phase == RequestPhase::ReceiveBody ? Error::NetworkReceiveError : Error::EmptyResponse;
    case ERROR_WINHTTP_REDIRECT_FAILED:
        return Error::TooManyRedirects;
    case ERROR_WINHTTP_CLIENT_AUTH_CERT_NEEDED:
    case ERROR_WINHTTP_CLIENT_CERT_NO_PRIVATE_KEY:
    case ERROR_WINHTTP_CLIENT_CERT_NO_ACCESS_PRIVATE_KEY:
        return Error::SslLocalCertificateError;
    case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID:
    case ERROR_WINHTTP_SECURE_CERT_CN_INVALID:
    case ERROR_WINHTTP_SECURE_INVALID_CA:
    case ERROR_WINHTTP_SECURE_CERT_REV_FAILED:
    case ERROR_WINHTTP_SECURE_CERT_REVOKED:
    case ERROR_WINHTTP_SECURE_INVALID_CERT:
    case ERROR_WINHTTP_SECURE_CERT_WRONG_USAGE:
        return Error::SslRemoteCertificateError;
    case ERROR_WINHTTP_SECURE_FAILURE:
    case ERROR_WINHTTP_SECURE_CHANNEL_ERROR:
        // Windows reports a rejected certificate as a secure failure, Wine as a channel error; the status
        // callback's flags tell them apart from a failed handshake.
        if (secureFailureFlags) return Error::SslRemoteCertificateError;
        return error == ERROR_WINHTTP_SECURE_CHANNEL_ERROR ? Error::SslConnectError : Error::GenericSslError;
    case ERROR_WINHTTP_AUTO_PROXY_SERVICE_ERROR:
    case ERROR_WINHTTP_AUTODETECTION_FAILED:
    case ERROR_WINHTTP_BAD_AUTO_PROXY_SCRIPT:
    case ERROR_WINHTTP_UNABLE_TO_DOWNLOAD_SCRIPT:
        return Error::ProxyResolutionFailure;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
    case ERROR_INVALID_PARAMETER:
    case ERROR_INVALID_HANDLE:
    case ERROR_WINHTTP_INTERNAL_ERROR:
    case ERROR_WINHTTP_INCORRECT_HANDLE_TYPE:
    case ERROR_WINHTTP_INCORRECT_HANDLE_STATE:
    case ERROR_WINHTTP_INVALID_OPTION:
    case ERROR_WINHTTP_OPTION_NOT_SETTABLE:
    case ERROR_WINHTTP_SHUTDOWN:
    case ERROR_WINHTTP_INVALID_HEADER:
    case WSAENOBUFS:
    case WSAEMFILE:
        return Error::InternalError;
    default:
        return Error::UnknownError;
    }
}

} // namespace

Error MapWinHttpError(DWORD error, RequestPhase phase, DWORD secureFailureFlags, bool viaProxy) {
    Error result;
    result.code = CodeFor(error, phase, secureFailureFlags, viaProxy);
    result.message = "WinHTTP error " + std::to_string(error) + " while " + PhaseName(phase);
    if (secureFailureFlags) result.message += " (certificate flags 0x" + [&] {
        char hex[16];
        snprintf(hex, sizeof(hex), "%lx", static_cast<unsigned long>(secureFailureFlags));
        return std::string(hex);
    }() + ")";
    return result;
}

} // namespace Nolvar::Networking::Detail
