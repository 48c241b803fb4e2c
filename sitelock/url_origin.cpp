#include "sitelock/url_origin.h"

#include <urlmon.h>

#include "certutil/crypt_handles.h"

namespace sitelock {
namespace {

// Whether the authority (between "//" and the first of "/?#") holds an '@'.
// The parser reports user information only when it finds a name, but
// "https://@host" or "https://:@host" are not plain origins either.
bool AuthorityHasAt(const wchar_t* url) {
  const wchar_t* p = wcsstr(url, L"//");
  if (!p) return false;
  for (p += 2; *p && *p != L'/' && *p != L'\\' && *p != L'?' && *p != L'#'; ++p)
    if (*p == L'@') return true;
  return false;
}

}  // namespace

Caller CallerFromUrl(const wchar_t* url) {
  ComPtr<IUri> uri;
  // A URL the parser refuses is no web address (CallerFromParsedUrl with no
  // parse); a null or empty one is found unreadable there.
  if (url && *url && FAILED(CreateUri(url, Uri_CREATE_CANONICALIZE, 0, uri.Receive()))) uri.Reset();
  return CallerFromParsedUrl(url, uri.Get());
}

Caller CallerFromParsedUrl(const wchar_t* url, IUri* uri) {
  Caller caller;
  if (!url || !*url) {
    caller.kind = Caller::Kind::kUnreadablePage;
    return caller;
  }
  caller.kind = Caller::Kind::kPage;
  if (!uri) {  // the parser could not split it
    caller.status = OriginStatus::kNotWeb;
    return caller;
  }
  UrlParts parts;
  ScopedBstr scheme, host;
  if (SUCCEEDED(uri->GetSchemeName(scheme.Receive())) && scheme.Get()) parts.scheme = scheme.Get();
  if (SUCCEEDED(uri->GetHost(host.Receive())) && host.Get()) parts.host = host.Get();
  DWORD properties = 0;
  uri->GetProperties(&properties);
  parts.hasUserInfo = (properties & (Uri_HAS_USER_INFO | Uri_HAS_USER_NAME | Uri_HAS_PASSWORD)) != 0 ||
                      AuthorityHasAt(url);
  DWORD port = 0;
  if ((properties & Uri_HAS_PORT) && SUCCEEDED(uri->GetPort(&port))) parts.port = static_cast<long>(port);
  caller.status = ReduceOrigin(parts, &caller.origin);
  return caller;
}

}  // namespace sitelock
