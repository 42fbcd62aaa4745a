#include "QorNetworking/Url.h"

#include <boost/url/parse.hpp>
#include <boost/url/url.hpp>

namespace Nolvar::Networking {
namespace {

bool IsHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool IsUnreserved(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~';
}

void AppendEscaped(std::string& out, unsigned char c) {
    static const char digits[] = "0123456789ABCDEF";
    out += '%';
    out += digits[c >> 4];
    out += digits[c & 0xF];
}

// Percent-encodes what a URI can never hold (blanks, controls, non-ASCII bytes, a few punctuation marks and
// a "%" that does not start an escape), leaving the URI's own delimiters alone.
std::string EncodeForgivingly(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\r' || text.front() == '\n'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n'))
        text.remove_suffix(1);
    std::string out;
    out.reserve(text.size());
    bool inFragment = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        bool escape = c <= 0x20 || c >= 0x7F || c == '"' || c == '<' || c == '>' || c == '\\' || c == '^' ||
                      c == '`' || c == '{' || c == '|' || c == '}' || (c == '#' && inFragment) ||
                      (c == '%' && !(i + 2 < text.size() && IsHex(text[i + 1]) && IsHex(text[i + 2])));
        if (c == '#') inFragment = true;
        if (escape)
            AppendEscaped(out, c);
        else
            out += static_cast<char>(c);
    }
    return out;
}

bool IsUsable(const boost::urls::url_view& url) {
    return url.has_scheme() && url.has_authority() && !url.encoded_host().empty();
}

std::optional<boost::urls::url_view> View(const std::string& text) {
    auto parsed = boost::urls::parse_uri(text);
    if (!parsed) return std::nullopt;
    return *parsed;
}

} // namespace

std::string PercentEncode(std::string_view text) {
    std::string out;
    out.reserve(text.size() * 3);
    for (char ch : text) {
        unsigned char c = static_cast<unsigned char>(ch);
        if (IsUnreserved(c))
            out += ch;
        else
            AppendEscaped(out, c);
    }
    return out;
}

Url::Url(std::string_view text, ParsingMode mode)
    : m_text(mode == ParsingMode::Strict ? std::string(text) : EncodeForgivingly(text)) {
    auto view = View(m_text);
    m_valid = view && IsUsable(*view);
    if (m_valid) {
        m_text = boost::urls::url(*view).normalize_scheme().buffer();
        readParts();
    } else
        m_text = std::string(text);
}

Url& Url::addParameter(std::string_view name, std::string_view value) {
    std::string pair = PercentEncode(name) + "=" + PercentEncode(value);
    if (!m_valid) {
        auto hash = m_text.find('#');
        std::string tail = hash == std::string::npos ? std::string() : m_text.substr(hash);
        m_text.resize(hash == std::string::npos ? m_text.size() : hash);
        m_text += (m_text.find('?') == std::string::npos ? "?" : (m_text.back() == '?' ? "" : "&")) + pair + tail;
        return *this;
    }
    boost::urls::url url(*View(m_text));
    std::string query = url.has_query() ? std::string(url.encoded_query()) : std::string();
    if (!query.empty() && query.back() != '&') query += '&';
    url.set_encoded_query(query + pair);
    m_text = url.buffer();
    readParts();
    return *this;
}

void Url::readParts() {
    auto view = View(m_text);
    if (!view) return;
    m_scheme = std::string(view->scheme());
    m_host = view->host_type() == boost::urls::host_type::ipv6 ? view->host_ipv6_address().to_string() : view->host();
    if (view->has_port() && !view->port().empty())
        m_port = view->port_number();
    else if (view->scheme_id() == boost::urls::scheme::http)
        m_port = 80;
    else if (view->scheme_id() == boost::urls::scheme::https)
        m_port = 443;
    else
        m_port = 0;
    m_pathAndQuery = std::string(view->encoded_path());
    if (m_pathAndQuery.empty()) m_pathAndQuery = "/";
    if (view->has_query()) m_pathAndQuery += "?" + std::string(view->encoded_query());
}

std::optional<Url> Url::resolve(std::string_view reference) const {
    if (!m_valid) return std::nullopt;
    std::string encoded = EncodeForgivingly(reference);
    auto ref = boost::urls::parse_uri_reference(encoded);
    if (!ref) return std::nullopt;
    boost::urls::url target;
    if (!boost::urls::resolve(*View(m_text), *ref, target)) return std::nullopt;
    Url result(target.buffer(), ParsingMode::Strict);
    if (!result.isValid()) return std::nullopt;
    return result;
}

} // namespace Nolvar::Networking
