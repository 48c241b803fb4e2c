#pragma once
#include <windows.h>
#include <urlmon.h>

#include "sitelock/origin_list.h"

namespace sitelock {

// The caller a document's URL stands for: the URL split by the platform's
// URL parser (urlmon's CreateUri), then reduced to its origin. A null or
// empty URL is an unreadable page.
Caller CallerFromUrl(const wchar_t* url);

// The same for a URL the parser has already split: `uri` is what the parser
// made of `url`. The parser's own findings are not all taken on trust: the
// authority is looked at again for an '@' the parser did not report, and the
// host is lower-cased here whatever case the parser hands it in.
Caller CallerFromParsedUrl(const wchar_t* url, IUri* uri);

}  // namespace sitelock
