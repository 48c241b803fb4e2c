#pragma once
// What the control remembers for a page beyond one control object, shared
// by every control in the process: the user's denials (see
// sitelock/consent_memory.h) and the temporary log's level each page
// origin asked for.
#include <atomic>
#include <string>

#include "sitelock/consent_memory.h"

namespace page_memory {

sitelock::Recall RememberedDenial(const std::wstring& pageUrl, const sitelock::Origin& origin);
void RecordDenial(const std::wstring& pageUrl, const sitelock::Origin& origin);
bool HoldsDenials();

// At most one question per origin on the screen at a time: false while one
// is open; EndQuestion when it has been answered.
bool BeginQuestion(const std::wstring& origin);
void EndQuestion(const std::wstring& origin);

// The level slot of an origin that has set a level, or null.
std::atomic<int>* LogLevelOf(const std::wstring& origin);
// Makes the origin's slot with this level; none once so many origins have
// one that no more are made.
void KeepLogLevel(const std::wstring& origin, int level);

}  // namespace page_memory
