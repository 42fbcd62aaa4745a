#pragma once
// An absolute URL (http, https or any other scheme), kept in its encoded text form with the parts a request
// needs read once from it.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace Nolvar::Networking {

class Url {
public:
    enum class ParsingMode : std::int32_t {
        Strict = 0,   // the text must already be a valid URI
        Lenient = 1,  // surrounding blanks are dropped and characters a URI cannot hold are percent-encoded first
    };

    Url() = default;
    explicit Url(std::string_view text, ParsingMode mode = ParsingMode::Lenient);

    // True for an absolute URL with a scheme and a host.
    bool isValid() const { return m_valid; }
    // The encoded URL; for an invalid URL the text it was made from.
    std::string toString() const { return m_text; }

    // Appends name=value to the query (both percent-encoded), after the parameters already there.
    Url& addParameter(std::string_view name, std::string_view value);

    // Components of a valid URL (empty or 0 otherwise). Host without brackets, decoded; port explicit or the
    // scheme's default (80, 443).
    std::string scheme() const { return m_scheme; }
    std::string host() const { return m_host; }
    std::uint16_t port() const { return m_port; }
    // Encoded path and query ("/" when the path is empty), without the fragment: what a request line carries.
    std::string pathAndQuery() const { return m_pathAndQuery; }

    // The URL a reference (such as a Location header) leads to, relative to this one.
    std::optional<Url> resolve(std::string_view reference) const;

    friend bool operator==(const Url&, const Url&) = default;

private:
    // Reads the parts of a valid URL from its text.
    void readParts();

    std::string m_text;
    bool m_valid = false;
    std::string m_scheme;
    std::string m_host;
    std::uint16_t m_port = 0;
    std::string m_pathAndQuery;
};

// Percent-encodes every byte but the unreserved characters (letters, digits, "-", ".", "_", "~").
std::string PercentEncode(std::string_view text);

} // namespace Nolvar::Networking
