// Origin texts and URL parts as a hostile page or a careless administrator
// might write them: parsing never fails unsafely, a parsed origin is in its
// reduced form, reads back as itself and matches itself, and nothing but
// https and loopback http is ever accepted.
#include <string>

#include "fuzz/wide_input.h"
#include "sitelock/origin_list.h"
#include "sitelock/prompt_layout.h"

using namespace sitelock;

namespace {

bool IsReduced(const Origin& o) {
  if (o.scheme != L"https" && o.scheme != L"http") return false;
  if (o.IsHttp() && !IsLoopbackHost(o.host)) return false;
  for (wchar_t c : o.host)
    if ((c >= L'A' && c <= L'Z') || c > 0x7e || c <= 0x20) return false;
  if (o.port == 0 || o.port > 65535 || o.port < -1) return false;
  if ((o.scheme == L"https" && o.port == 443) || (o.scheme == L"http" && o.port == 80)) return false;
  return !o.host.empty() && o.host.back() != L'.';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::wstring text = fuzzing::WideUnits(data, size);
  for (bool wildcards : {false, true}) {
    Origin origin;
    bool wildcard = false;
    if (ParseOriginText(text, wildcards, &origin, &wildcard) != OriginStatus::kOk) continue;
    FUZZ_REQUIRE(IsReduced(origin));
    FUZZ_REQUIRE(wildcards || !wildcard);
    std::wstring written = (wildcard ? origin.scheme + L"://*." + origin.host : origin.Text());
    if (wildcard && origin.port >= 0) written += L":" + std::to_wstring(origin.port);
    Origin again;
    bool againWildcard = false;
    FUZZ_REQUIRE(ParseOriginText(written, true, &again, &againWildcard) == OriginStatus::kOk);
    FUZZ_REQUIRE(again == origin && againWildcard == wildcard);
    ListEntry entry{origin, wildcard};
    FUZZ_REQUIRE(entry.Matches(origin) == !wildcard);
    // A wildcard matches a subdomain, never the domain or a look-alike.
    Origin sub = origin;
    sub.host = L"a." + origin.host;
    FUZZ_REQUIRE(entry.Matches(sub) == wildcard);
    // Longer than the domain by more than a dot, so that only the check for
    // the dot before the domain tells it from a subdomain.
    Origin lookalike = origin;
    lookalike.host = L"bad" + origin.host;
    FUZZ_REQUIRE(!entry.Matches(lookalike));
    // The question's site is the end of the host, and its lines keep every
    // character of the site and the origin.
    PromptText prompt = PromptTextFor(origin);
    FUZZ_REQUIRE(!prompt.site.empty() && prompt.site.size() <= origin.host.size());
    FUZZ_REQUIRE(origin.host.compare(origin.host.size() - prompt.site.size(), prompt.site.size(), prompt.site) == 0);
    Measure measure = [](const std::wstring& t) { return static_cast<int>(t.size()) * 7; };
    PromptLayout layout = LayoutPrompt(prompt, 7 * (1 + data[0] % 80), measure, measure);
    std::wstring joined;
    for (const std::wstring& line : layout.originLines) joined += line;
    FUZZ_REQUIRE(joined == origin.Text());
  }

  // The same bytes as the parts of a URL, as the platform's parser hands
  // them to the reduction: a first byte of flags (bit 0: user information
  // reported, bit 1: a port given), the port in the next three bytes when
  // given, then the scheme and the host, split at the first line feed.
  // Taking the flags and the port from their own bytes lets an input whose
  // text is a plain "https\nexample.cz" reduce, with or without user
  // information.
  UrlParts parts;
  size_t at = 0;
  const uint8_t flags = size > 0 ? data[at++] : 0;
  parts.hasUserInfo = (flags & 1) != 0;
  if ((flags & 2) && size >= at + 3) {
    parts.port = static_cast<long>(data[at] | (data[at + 1] << 8) | (data[at + 2] << 16)) - 0x100;
    at += 3;
  }
  std::wstring fields = fuzzing::WideUnits(data + at, size - at);
  size_t cut = fields.find(L'\n');
  parts.scheme = fields.substr(0, cut);
  parts.host = cut == std::wstring::npos ? L"" : fields.substr(cut + 1);
  Origin reduced;
  if (ReduceOrigin(parts, &reduced) == OriginStatus::kOk) {
    FUZZ_REQUIRE(IsReduced(reduced));
    FUZZ_REQUIRE(!parts.hasUserInfo);
  }

  // The decision never allows a page whose origin did not reduce.
  Caller caller;
  caller.kind = Caller::Kind::kPage;
  caller.status = ReduceOrigin(parts, &caller.origin);
  Settings settings;
  settings.userAllowed.push_back(ListEntry{caller.origin, false});
  Reason reason = Decide(caller, settings, Session());
  FUZZ_REQUIRE(caller.status == OriginStatus::kOk || VerdictOf(reason) == Verdict::kRefuse);
  // The user's own list never admits plain http.
  FUZZ_REQUIRE(!caller.origin.IsHttp() || VerdictOf(reason) != Verdict::kAllow);
  return 0;
}
