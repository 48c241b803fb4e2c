#pragma once
// Web origins as the site lock sees them: scheme://host[:port], reduced so
// that two spellings of one origin compare equal. Platform-free: the URL is
// split into its parts by the caller (the platform's URL parser), and this
// code validates and reduces those parts.
#include <string>

namespace sitelock {

// The parts of a URL the origin is made of, as the URL parser split them.
struct UrlParts {
  std::wstring scheme;
  bool hasUserInfo = false;  // any user name, password or '@' in the authority
  std::wstring host;         // an IPv6 literal with or without its brackets
  long port = -1;            // -1: none given
};

// Why a URL does or does not give an origin that may be allowed.
enum class OriginStatus {
  kOk,
  kNotWeb,        // a scheme other than https and http (file:, about:, ...)
  kUserInfo,      // user information in the authority
  kBadHost,       // empty, malformed, trailing dot, non-ASCII
  kBadPort,       // outside 1 to 65535
  kInsecureHttp,  // http to a host other than the loopback
  kPublicSuffixWildcard,  // a list's "*.domain" where the domain is a public suffix
};

const wchar_t* OriginStatusName(OriginStatus status);

struct Origin {
  std::wstring scheme;  // "https" or "http"
  std::wstring host;    // lower case; IPv6 literals in brackets
  long port = -1;       // -1: the scheme's default port
  // Only http to a loopback host; such an origin can be allowed by a list
  // entry, never by the prompt.
  bool IsHttp() const { return scheme == L"http"; }
  std::wstring Text() const;
  bool operator==(const Origin& other) const {
    return scheme == other.scheme && host == other.host && port == other.port;
  }
};

// Validates and reduces: scheme and host lower-cased, the default port
// dropped, user information rejected, only https and http to a loopback
// host accepted.
OriginStatus ReduceOrigin(const UrlParts& parts, Origin* origin);

// Splits an origin text "scheme://host[:port]" (an optional single "/" at
// the end, blanks around it ignored) without any platform help: list
// entries and the origins a browser reports are in this form. Nothing but
// an origin is accepted: no path, query, fragment or user information.
// With `allowWildcard`, a host "*.domain" is accepted and `wildcard` set.
OriginStatus ParseOriginText(const std::wstring& text, bool allowWildcard, Origin* origin, bool* wildcard);

// Host rules, exposed for the tests.
bool IsDnsName(const std::wstring& host);
bool IsLoopbackHost(const std::wstring& host);

}  // namespace sitelock
