#pragma once
#include <windows.h>

#include "sitelock/origin_list.h"

namespace sitelock {

// The caller a document's URL stands for: the URL split by the platform's
// URL parser (urlmon's CreateUri), then reduced to its origin. A null or
// empty URL is an unreadable page.
Caller CallerFromUrl(const wchar_t* url);

}  // namespace sitelock
