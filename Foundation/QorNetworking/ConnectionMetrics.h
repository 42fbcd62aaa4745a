#pragma once
// The parameters of a "CONNECTION_METRICS" statistics event, made from a response's connection metrics.
#include <map>
#include <string>

namespace Nolvar::Networking {

// `metrics` with "SOURCE", "URI" and "ARGS" added: host, path and query of "EFFECTIVE_URL", percent-decoded.
// Without an effective URL the metrics come back unchanged; one that cannot be parsed is logged and adds nothing.
std::map<std::string, std::string> ConnectionMetricsParams(std::map<std::string, std::string> metrics);

} // namespace Nolvar::Networking
