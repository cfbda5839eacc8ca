// The parts of a URL as the fetch connects to them. These follow fixed text rules rather than
// a URL grammar, so odd inputs ('example.com/x' without a scheme, 'httpsite.example/x') still
// give the host, port and path that the system has always used for them.
#pragma once

#include <optional>

#include "text/text.h"

namespace ravelkin {

// The host, lower-cased, without the port unless keepPort. Without a scheme, http:// is
// assumed. mainDomainOnly keeps the last two dot-separated labels. levelCount (when given)
// steps back over that many dots from the end and keeps up to two more labels before them.
Text hostOfUrl(const Text& url, bool mainDomainOnly = false, bool keepPort = false,
               std::optional<int> levelCount = std::nullopt);

// The port after the host's last ':'; else 443 when the URL starts with "https" (any case,
// even without "://"), else 80.
int portOfUrl(const Text& url);

// From the first '/' after the host to the end, query included, letter case kept; "/" when
// there is none.
Text pathOfUrl(const Text& url);

// The text after the first ':', trimmed; empty when there is no ':'.
Text valueAfterColon(const Text& text);

// True when the first 8 bytes, lower-cased, are "https://".
bool isSecureUrl(const Text& url);

}  // namespace ravelkin
