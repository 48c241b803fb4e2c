#include "sitelock/origin.h"

#include <cwchar>

namespace sitelock {
namespace {

constexpr size_t kMaxHostChars = 253;
constexpr size_t kMaxLabelChars = 63;

wchar_t LowerAscii(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

std::wstring LowerAscii(const std::wstring& text) {
  std::wstring out(text);
  for (wchar_t& c : out) c = LowerAscii(c);
  return out;
}

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }
bool IsHexDigit(wchar_t c) { return IsDigit(c) || (c >= L'a' && c <= L'f'); }

// "[...]" with hexadecimal digits, colons and (for an embedded IPv4 part)
// dots; the platform's parser has already checked the finer structure.
bool IsIpv6Literal(const std::wstring& host) {
  if (host.size() < 4 || host.size() > 47 || host.front() != L'[' || host.back() != L']') return false;
  bool colon = false;
  for (size_t i = 1; i + 1 < host.size(); ++i) {
    wchar_t c = host[i];
    if (c == L':') colon = true;
    else if (!IsHexDigit(c) && c != L'.') return false;
  }
  return colon;
}

// A decimal number 0..255 without sign; false for anything else.
bool ParseOctet(const std::wstring& text, unsigned* value) {
  if (text.empty() || text.size() > 3) return false;
  unsigned v = 0;
  for (wchar_t c : text) {
    if (!IsDigit(c)) return false;
    v = v * 10 + static_cast<unsigned>(c - L'0');
  }
  *value = v;
  return v <= 255;
}

bool IsLoopbackIpv4(const std::wstring& host) {
  unsigned octets[4] = {};
  size_t start = 0;
  for (int i = 0; i < 4; ++i) {
    size_t dot = host.find(L'.', start);
    if ((i < 3) != (dot != std::wstring::npos)) return false;
    std::wstring part = host.substr(start, dot == std::wstring::npos ? std::wstring::npos : dot - start);
    if (!ParseOctet(part, &octets[i])) return false;
    start = dot + 1;
  }
  return octets[0] == 127;
}

bool ParsePort(const std::wstring& text, long* port) {
  if (text.empty() || text.size() > 5) return false;
  long v = 0;
  for (wchar_t c : text) {
    if (!IsDigit(c)) return false;
    v = v * 10 + (c - L'0');
  }
  *port = v;
  return true;
}

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

}  // namespace

const wchar_t* OriginStatusName(OriginStatus status) {
  switch (status) {
    case OriginStatus::kOk: return L"ok";
    case OriginStatus::kNotWeb: return L"not a web address";
    case OriginStatus::kUserInfo: return L"user information in the address";
    case OriginStatus::kBadHost: return L"malformed host";
    case OriginStatus::kBadPort: return L"malformed port";
    case OriginStatus::kInsecureHttp: return L"http to a host other than the loopback";
    case OriginStatus::kPublicSuffixWildcard: return L"a wildcard over a public suffix";
  }
  return L"?";
}

std::wstring Origin::Text() const {
  std::wstring text = scheme + L"://" + host;
  if (port >= 0) text += L":" + std::to_wstring(port);
  return text;
}

bool IsDnsName(const std::wstring& host) {
  if (host.empty() || host.size() > kMaxHostChars) return false;
  size_t label = 0;
  for (wchar_t c : host) {
    if (c == L'.') {
      if (label == 0) return false;  // leading dot, empty label
      label = 0;
      continue;
    }
    bool ok = IsDigit(c) || (c >= L'a' && c <= L'z') || c == L'-' || c == L'_';
    if (!ok || ++label > kMaxLabelChars) return false;
  }
  return label != 0;  // a trailing dot names the same host another way: refused
}

bool IsLoopbackHost(const std::wstring& host) {
  return host == L"localhost" || host == L"[::1]" || IsLoopbackIpv4(host);
}

OriginStatus ReduceOrigin(const UrlParts& parts, Origin* origin) {
  *origin = Origin();
  std::wstring scheme = LowerAscii(parts.scheme);
  if (scheme != L"https" && scheme != L"http") return OriginStatus::kNotWeb;
  if (parts.hasUserInfo) return OriginStatus::kUserInfo;
  std::wstring host = LowerAscii(parts.host);
  // The platform hands IPv6 literals without their brackets.
  if (host.find(L':') != std::wstring::npos && (host.empty() || host.front() != L'[')) host = L"[" + host + L"]";
  if (!IsDnsName(host) && !IsIpv6Literal(host)) return OriginStatus::kBadHost;
  long port = parts.port;
  if (port != -1 && (port < 1 || port > 65535)) return OriginStatus::kBadPort;
  if ((scheme == L"https" && port == 443) || (scheme == L"http" && port == 80)) port = -1;
  if (scheme == L"http" && !IsLoopbackHost(host)) return OriginStatus::kInsecureHttp;
  origin->scheme = scheme;
  origin->host = host;
  origin->port = port;
  return OriginStatus::kOk;
}

OriginStatus ParseOriginText(const std::wstring& text, bool allowWildcard, Origin* origin, bool* wildcard) {
  *origin = Origin();
  *wildcard = false;
  size_t begin = 0, end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  std::wstring t = text.substr(begin, end - begin);
  if (!t.empty() && t.back() == L'/') t.pop_back();
  size_t sep = t.find(L"://");
  if (sep == std::wstring::npos || sep == 0) return OriginStatus::kNotWeb;
  UrlParts parts;
  parts.scheme = t.substr(0, sep);
  for (wchar_t c : parts.scheme)
    if (!((c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z'))) return OriginStatus::kNotWeb;
  std::wstring authority = t.substr(sep + 3);
  // An origin has no path, query or fragment; a character that would start
  // one makes the text something other than an origin.
  if (authority.find_first_of(L"/\\?#") != std::wstring::npos) return OriginStatus::kBadHost;
  if (authority.find(L'@') != std::wstring::npos) return OriginStatus::kUserInfo;
  size_t hostEnd = authority.size();
  if (!authority.empty() && authority.front() == L'[') {
    size_t close = authority.find(L']');
    if (close == std::wstring::npos) return OriginStatus::kBadHost;
    hostEnd = close + 1;
  } else {
    size_t colon = authority.find(L':');
    if (colon != std::wstring::npos) hostEnd = colon;
  }
  parts.host = authority.substr(0, hostEnd);
  if (hostEnd < authority.size()) {
    if (authority[hostEnd] != L':' || !ParsePort(authority.substr(hostEnd + 1), &parts.port))
      return OriginStatus::kBadPort;
  }
  bool isWildcard = parts.host.size() > 2 && parts.host.compare(0, 2, L"*.") == 0;
  if (isWildcard) {
    if (!allowWildcard) return OriginStatus::kBadHost;
    parts.host.erase(0, 2);
    // A wildcard stands for the subdomains of a name, never of an address.
    std::wstring domain = LowerAscii(parts.host);
    if (!IsDnsName(domain) || IsLoopbackHost(domain)) return OriginStatus::kBadHost;
    bool allDigitsAndDots = true;
    for (wchar_t c : domain) allDigitsAndDots = allDigitsAndDots && (IsDigit(c) || c == L'.');
    if (allDigitsAndDots) return OriginStatus::kBadHost;
  }
  OriginStatus status = ReduceOrigin(parts, origin);
  if (status != OriginStatus::kOk) return status;
  if (isWildcard && origin->IsHttp()) return OriginStatus::kInsecureHttp;
  *wildcard = isWildcard;
  return OriginStatus::kOk;
}

}  // namespace sitelock
