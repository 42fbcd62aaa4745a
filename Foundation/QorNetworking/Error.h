#pragma once
// Result of a network request: 0 is success, the other codes name what failed.
#include <cstdint>
#include <string>

namespace Nolvar::Networking {

struct Error {
    enum Code : std::int32_t {
        NoError = 0,
        ConnectionFailure = 1,
        EmptyResponse = 2,
        HostResolutionFailure = 3,
        InternalError = 4,
        InvalidUrlFormat = 5,
        NetworkReceiveError = 6,
        NetworkSendFailure = 7,
        OperationTimedOut = 8,
        ProxyResolutionFailure = 9,
        SslConnectError = 10,
        SslLocalCertificateError = 11,
        SslRemoteCertificateError = 12,
        GenericSslError = 13,
        UnsupportedProtocol = 14,
        RequestCancelled = 15,
        TooManyRedirects = 16,
        UnknownError = 1000,
        NotInitialized = 1001,
    };

    std::int32_t code = NoError;
    std::string message;

    friend bool operator==(const Error&, const Error&) = default;
};

} // namespace Nolvar::Networking
