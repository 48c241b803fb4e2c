#pragma once
// The lists of origins an administrator or the user allowed or denied, and
// the decision whether a page's origin may use the certificates.
// Platform-free: the registry reading is in site_lock_registry.*.
#include <string>
#include <vector>

#include "sitelock/origin.h"

namespace sitelock {

// One list entry: an origin, or (policy lists only) "https://*.domain",
// which stands for every subdomain of the domain at any depth, not for the
// domain itself. A wildcard over a public suffix ("*.com", "*.co.uk",
// "*.ck") is not an entry: ParseList rejects it.
struct ListEntry {
  Origin origin;
  bool wildcard = false;
  bool Matches(const Origin& page) const;
};

// An entry that did not parse, kept so that the caller can log it.
struct RejectedEntry {
  std::wstring text;
  OriginStatus status;
};

// Parses the texts of one list; entries that do not parse are left out and
// reported in `rejected`. Wildcards only where `allowWildcards`.
std::vector<ListEntry> ParseList(const std::vector<std::wstring>& texts, bool allowWildcards,
                                 std::vector<RejectedEntry>* rejected);

bool AnyMatches(const std::vector<ListEntry>& list, const Origin& page);

// Everything the registry says, highest precedence first.
struct Settings {
  std::vector<ListEntry> policyDenied;
  std::vector<ListEntry> policyAllowed;
  std::vector<ListEntry> machineAllowed;
  std::vector<ListEntry> userAllowed;
  bool prompt = true;                // policy "Prompt"; 0 refuses what no list allows
  bool allowNonBrowserHosts = true;  // policy "AllowNonBrowserHosts"
};

// Where a call comes from.
struct Caller {
  enum class Kind {
    kNoPage,          // a script host, VBA, a program: no document at all
    kUnreadablePage,  // sited in an HTML document whose URL cannot be read
    kPage,            // a document with a URL, reduced into `status`/`origin`
  };
  Kind kind = Kind::kNoPage;
  OriginStatus status = OriginStatus::kOk;
  Origin origin;
};

// What one control has been told by its user so far.
struct Session {
  bool denied = false;              // "Deny": no more prompts, ever
  std::vector<Origin> allowedOnce;  // "Allow once", per origin
};

enum class Reason {
  kNonBrowserHost,     // allowed: no page
  kNonBrowserRefused,  // refused: no page, and policy AllowNonBrowserHosts = 0
  kUnreadablePage,     // refused: the document's URL could not be read
  kNotAllowable,       // refused: not an origin that can ever be allowed
  kPolicyDenied,       // refused: the policy's DeniedOrigins
  kPolicyAllowed,      // allowed: the policy's AllowedOrigins
  kMachineAllowed,     // allowed: the machine's AllowedOrigins
  kUserAllowed,        // allowed: the user's AllowedOrigins
  kAllowedOnce,        // allowed: "Allow once" on this control
  kDeniedEarlier,      // refused: "Deny" on this control or this page
  kDeniedRepeatedly,   // refused: the origin was denied repeatedly, and is not asked about for a while
  kPromptDisabled,     // refused: in no list, and policy Prompt = 0
  kNotPromptable,      // refused: http to the loopback, allowed only by a list
  kAsk,                // the user must be asked
};

enum class Verdict { kAllow, kRefuse, kAsk };

Verdict VerdictOf(Reason reason);
const wchar_t* ReasonName(Reason reason);

// Precedence: policy denial, policy allowance, machine allowance, user
// allowance, then this control's session, then the prompt.
Reason Decide(const Caller& caller, const Settings& settings, const Session& session);

}  // namespace sitelock
