#include "QorNetworking/ConnectionMetrics.h"

#include <boost/exception/diagnostic_information.hpp>
#include <boost/url/parse.hpp>
#include <boost/url/url_view.hpp>
#include <glog/logging.h>

#include "QorNetworking/Response.h"

namespace Nolvar::Networking {
namespace {

std::string Decoded(boost::urls::pct_string_view text) {
    std::string out;
    text.decode({}, boost::urls::string_token::assign_to(out));
    return out;
}

} // namespace

std::map<std::string, std::string> ConnectionMetricsParams(std::map<std::string, std::string> metrics) {
    const auto effective = metrics.find(kMetricEffectiveUrl);
    if (effective == metrics.end()) return metrics;
    try {
        const boost::urls::url_view view = boost::urls::parse_uri_reference(effective->second).value();
        std::string source = Decoded(view.encoded_host());
        std::string path = Decoded(view.encoded_path());
        std::string query = Decoded(view.encoded_query());
        metrics["SOURCE"] = std::move(source);
        metrics["URI"] = std::move(path);
        metrics["ARGS"] = std::move(query);
    } catch (...) {
        LOG(ERROR) << "Error on getConnectionMetricsParams: " << boost::current_exception_diagnostic_information();
    }
    return metrics;
}

} // namespace Nolvar::Networking
