#pragma once
// Turns WinHTTP's error numbers into the client's error codes.
#include <windows.h>

#include "QorNetworking/Error.h"

namespace Nolvar::Networking::Detail {

// Where in a request an error happened; the same WinHTTP error can mean different things in each.
enum class RequestPhase { Setup, Send, ReceiveHeaders, ReceiveBody };

// secureFailureFlags: the WINHTTP_CALLBACK_STATUS_FLAG_* bits of a certificate failure, 0 when none was reported.
// viaProxy: the request went through a proxy (a name that cannot be resolved is then the proxy's).
Error MapWinHttpError(DWORD error, RequestPhase phase, DWORD secureFailureFlags, bool viaProxy);

} // namespace Nolvar::Networking::Detail
