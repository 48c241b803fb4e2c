#include "sitelock/origin_list.h"

#include "sitelock/public_suffix.h"

namespace sitelock {

bool ListEntry::Matches(const Origin& page) const {
  if (page.scheme != origin.scheme || page.port != origin.port) return false;
  if (!wildcard) return page.host == origin.host;
  // "*.example.cz" matches "a.example.cz" and "a.b.example.cz", but neither
  // "example.cz" nor "badexample.cz".
  const std::wstring& domain = origin.host;
  return page.host.size() > domain.size() + 1 &&
         page.host.compare(page.host.size() - domain.size(), domain.size(), domain) == 0 &&
         page.host[page.host.size() - domain.size() - 1] == L'.';
}

std::vector<ListEntry> ParseList(const std::vector<std::wstring>& texts, bool allowWildcards,
                                 std::vector<RejectedEntry>* rejected) {
  std::vector<ListEntry> list;
  for (const std::wstring& text : texts) {
    // Empty strings are what a list editor leaves between entries.
    if (text.find_first_not_of(L" \t\r\n") == std::wstring::npos) continue;
    ListEntry entry;
    OriginStatus status = ParseOriginText(text, allowWildcards, &entry.origin, &entry.wildcard);
    // "*.com", "*.co.uk" or "*.ck" would allow every site under a suffix
    // that anyone may register names under: never what an administrator
    // means. An unlisted top-level name ("*.corp") is an intranet's own.
    if (status == OriginStatus::kOk && entry.wildcard && IsListedSuffixOrParent(entry.origin.host))
      status = OriginStatus::kPublicSuffixWildcard;
    if (status == OriginStatus::kOk) list.push_back(entry);
    else if (rejected) rejected->push_back({text, status});
  }
  return list;
}

bool AnyMatches(const std::vector<ListEntry>& list, const Origin& page) {
  for (const ListEntry& entry : list)
    if (entry.Matches(page)) return true;
  return false;
}

Verdict VerdictOf(Reason reason) {
  switch (reason) {
    case Reason::kNonBrowserHost:
    case Reason::kPolicyAllowed:
    case Reason::kMachineAllowed:
    case Reason::kUserAllowed:
    case Reason::kAllowedOnce:
      return Verdict::kAllow;
    case Reason::kAsk:
      return Verdict::kAsk;
    default:
      return Verdict::kRefuse;
  }
}

const wchar_t* ReasonName(Reason reason) {
  switch (reason) {
    case Reason::kNonBrowserHost: return L"no page";
    case Reason::kNonBrowserRefused: return L"no page, and the policy refuses callers without a page";
    case Reason::kUnreadablePage: return L"the document's address cannot be read";
    case Reason::kNotAllowable: return L"not an origin that can be allowed";
    case Reason::kPolicyDenied: return L"denied by policy";
    case Reason::kPolicyAllowed: return L"allowed by policy";
    case Reason::kMachineAllowed: return L"allowed for this computer";
    case Reason::kUserAllowed: return L"allowed by the user";
    case Reason::kAllowedOnce: return L"allowed once by the user";
    case Reason::kDeniedEarlier: return L"denied by the user";
    case Reason::kDeniedRepeatedly: return L"denied by the user repeatedly, not asked again for 10 minutes";
    case Reason::kPromptDisabled: return L"in no list, and the policy forbids asking";
    case Reason::kNotPromptable: return L"in no list, and http is never offered to the user";
    case Reason::kAsk: return L"ask the user";
  }
  return L"?";
}

Reason Decide(const Caller& caller, const Settings& settings, const Session& session) {
  switch (caller.kind) {
    case Caller::Kind::kNoPage:
      return settings.allowNonBrowserHosts ? Reason::kNonBrowserHost : Reason::kNonBrowserRefused;
    case Caller::Kind::kUnreadablePage:
      return Reason::kUnreadablePage;
    case Caller::Kind::kPage:
      break;
  }
  if (caller.status != OriginStatus::kOk) return Reason::kNotAllowable;
  const Origin& origin = caller.origin;
  if (AnyMatches(settings.policyDenied, origin)) return Reason::kPolicyDenied;
  if (AnyMatches(settings.policyAllowed, origin)) return Reason::kPolicyAllowed;
  if (AnyMatches(settings.machineAllowed, origin)) return Reason::kMachineAllowed;
  // The user's own list admits https only: plain http, even to this
  // computer, carries the page unprotected, and only an administrator may
  // accept that for a machine.
  if (!origin.IsHttp() && AnyMatches(settings.userAllowed, origin)) return Reason::kUserAllowed;
  for (const Origin& once : session.allowedOnce)
    if (once == origin) return Reason::kAllowedOnce;
  if (session.denied) return Reason::kDeniedEarlier;
  if (!settings.prompt) return Reason::kPromptDisabled;
  if (origin.IsHttp()) return Reason::kNotPromptable;
  return Reason::kAsk;
}

}  // namespace sitelock
