// The public suffix table compiled from the list, the wildcard rule for
// policy entries, and the layout of the site lock's question for every host
// length a name can have.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sitelock/origin_list.h"
#include "sitelock/prompt_layout.h"
#include "sitelock/public_suffix.h"

using namespace sitelock;

namespace {

// A host of `length` characters ending in ".attacker.example", made of
// labels of at most 63 characters, starting with the name a page would
// like the user to read.
std::wstring AttackHost(size_t length) {
  std::wstring tail = L".attacker.example";
  std::wstring head = L"sign.example.cz";
  std::wstring host = head;
  while (host.size() + tail.size() < length) {
    size_t room = length - tail.size() - host.size() - 1;  // one for the dot
    if (room == 0) {
      host += L"x";
      continue;
    }
    host += L"." + std::wstring(room < 63 ? room : 63, L'a');
  }
  return host.substr(0, length - tail.size()) + tail;
}

TEST(PublicSuffix, RulesOfTheList) {
  struct Case {
    const wchar_t* host;
    const wchar_t* suffix;
    const wchar_t* registrable;
  } cases[] = {
      {L"com", L"com", L""},
      {L"example.com", L"com", L"example.com"},
      {L"a.b.example.com", L"com", L"example.com"},
      {L"example.co.uk", L"co.uk", L"example.co.uk"},
      {L"www.example.co.uk", L"co.uk", L"example.co.uk"},
      {L"co.uk", L"co.uk", L""},
      {L"podpis.example.cz", L"cz", L"example.cz"},
      // Wildcard "*.ck" and its exception "!www.ck".
      {L"ck", L"ck", L""},
      {L"shop.ck", L"shop.ck", L""},
      {L"a.shop.ck", L"shop.ck", L"a.shop.ck"},
      {L"www.ck", L"ck", L"www.ck"},
      {L"a.www.ck", L"ck", L"www.ck"},
      {L"x.city.kawasaki.jp", L"kawasaki.jp", L"city.kawasaki.jp"},
      {L"a.b.kawasaki.jp", L"b.kawasaki.jp", L"a.b.kawasaki.jp"},
      // Labels that are not ASCII, as origins hold them (punycode).
      // ("sande.m\u00f8re-og-romsdal.no" and "her\u00f8y.m\u00f8re-og-romsdal.no" in the list)
      {L"sande.xn--mre-og-romsdal-qqb.no", L"sande.xn--mre-og-romsdal-qqb.no", L""},
      {L"shop.sande.xn--mre-og-romsdal-qqb.no", L"sande.xn--mre-og-romsdal-qqb.no",
       L"shop.sande.xn--mre-og-romsdal-qqb.no"},
      {L"a.xn--hery-ira.xn--mre-og-romsdal-qqb.no", L"xn--hery-ira.xn--mre-og-romsdal-qqb.no",
       L"a.xn--hery-ira.xn--mre-og-romsdal-qqb.no"},
      {L"a.xn--mre-og-romsdal-qqb.no", L"no", L"xn--mre-og-romsdal-qqb.no"},
      {L"a.xn--p1ai", L"xn--p1ai", L"a.xn--p1ai"},
      // No rule: the last label.
      {L"attacker.example", L"example", L"attacker.example"},
      {L"localhost", L"localhost", L""},
      {L"server.corp", L"corp", L"server.corp"},
      // IP addresses have none.
      {L"192.0.2.1", L"", L""},
      {L"[2001:db8::1]", L"", L""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(c.host)));
    EXPECT_EQ(std::wstring(c.suffix), PublicSuffixOf(c.host));
    EXPECT_EQ(std::wstring(c.registrable), RegistrableDomain(c.host));
  }
  EXPECT_EQ(10u, std::string(PublicSuffixListDate()).size());
  EXPECT_EQ(L"attacker.example", RegistrableDomain(AttackHost(253)));
}

TEST(PublicSuffix, PolicyWildcardsOverASuffixAreRejected) {
  struct Case {
    const wchar_t* entry;
    bool kept;
  } cases[] = {
      {L"https://*.com", false},         {L"https://*.co.uk", false},
      {L"https://*.uk", false},          {L"https://*.ck", false},
      {L"https://*.shop.ck", false},     {L"https://*.kawasaki.jp", false},
      {L"https://*.xn--p1ai", false},    {L"https://*.github.io", false},
      {L"https://*.www.ck", true},       {L"https://*.example.co.uk", true},
      {L"https://*.example.cz", true},   {L"https://*.intranet.example.cz", true},
      {L"https://*.corp", true},         {L"https://*.city.kawasaki.jp", true},
      {L"https://com", true},            {L"https://co.uk:8443", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(c.entry)));
    std::vector<RejectedEntry> rejected;
    std::vector<ListEntry> list = ParseList({c.entry}, true, &rejected);
    EXPECT_EQ(c.kept ? 1u : 0u, list.size());
    if (!c.kept) {
      ASSERT_EQ(1u, rejected.size());
      EXPECT_EQ(OriginStatus::kPublicSuffixWildcard, rejected[0].status);
      EXPECT_EQ(std::wstring(L"a wildcard over a public suffix"), OriginStatusName(rejected[0].status));
    }
  }
  // Entries beside a rejected one still count.
  Settings settings;
  std::vector<RejectedEntry> rejected;
  settings.policyAllowed = ParseList({L"https://*.com", L"https://*.example.com"}, true, &rejected);
  Caller caller;
  caller.kind = Caller::Kind::kPage;
  caller.origin = Origin{L"https", L"evil.com", -1};
  EXPECT_EQ(Reason::kAsk, Decide(caller, settings, Session()));
  caller.origin.host = L"a.example.com";
  EXPECT_EQ(Reason::kPolicyAllowed, Decide(caller, settings, Session()));
}

TEST(PromptText, SiteOfEachKindOfHost) {
  struct Case {
    Origin origin;
    const wchar_t* site;
    bool ip;
  } cases[] = {
      {{L"https", L"sign.example.cz.evil.attacker.example", -1}, L"attacker.example", false},
      {{L"https", L"www.example.co.uk", 8443}, L"example.co.uk", false},
      {{L"https", L"192.0.2.1", -1}, L"192.0.2.1", true},
      {{L"https", L"[2001:db8::1]", 444}, L"[2001:db8::1]", true},
      {{L"http", L"localhost", 8080}, L"localhost", false},
      {{L"https", L"co.uk", -1}, L"co.uk", false},
  };
  for (const Case& c : cases) {
    PromptText text = PromptTextFor(c.origin);
    EXPECT_EQ(std::wstring(c.site), text.site);
    EXPECT_EQ(c.ip, text.ipAddress);
    EXPECT_EQ(c.origin.Text(), text.origin);
  }
}

// Every host length from 1 to 253, in fonts of fixed and of varying width:
// the site's lines make the whole registrable domain, the origin's lines
// the whole origin, and no line is wider than the room.
TEST(PromptLayout, EveryHostLengthShowsTheSiteWholeAndTheOriginUncut) {
  const int width = 420;
  Measure fixed = [](const std::wstring& t) { return static_cast<int>(t.size()) * 7; };
  Measure varying = [](const std::wstring& t) {
    int w = 0;
    for (wchar_t c : t) w += c == L'm' || c == L'w' ? 11 : (c == L'.' || c == L'i' ? 3 : 7);
    return w;
  };
  for (const Measure* measure : {&fixed, &varying}) {
    for (size_t length = 1; length <= 253; ++length) {
      std::wstring host = length >= 18 ? AttackHost(length) : std::wstring(length, L'w');
      ASSERT_EQ(length, host.size());
      Origin origin{L"https", host, length % 2 ? -1 : 65535};
      PromptText text = PromptTextFor(origin);
      PromptLayout layout = LayoutPrompt(text, width, *measure, *measure);
      SCOPED_TRACE(testing::Message() << "host of " << length);
      std::wstring site, all;
      for (const std::wstring& line : layout.siteLines) {
        EXPECT_LE((*measure)(line), width);
        EXPECT_FALSE(line.empty());
        site += line;
      }
      for (const std::wstring& line : layout.originLines) {
        EXPECT_LE((*measure)(line), width);
        EXPECT_FALSE(line.empty());
        all += line;
      }
      EXPECT_EQ(text.site, site);
      EXPECT_EQ(origin.Text(), all);
      if (length >= 18) {
        EXPECT_EQ(std::vector<std::wstring>{L"attacker.example"}, layout.siteLines);
        EXPECT_EQ(L"attacker.example", all.substr(all.size() - 16 - (length % 2 ? 0 : 6), 16));
      }
    }
  }
}

TEST(PromptLayout, BreaksAfterDotsWhereTheLineStaysHalfFull) {
  Measure fixed = [](const std::wstring& t) { return static_cast<int>(t.size()); };
  EXPECT_EQ((std::vector<std::wstring>{L"abc.def.", L"ghi"}), WrapAnywhere(L"abc.def.ghi", 10, fixed));
  EXPECT_EQ((std::vector<std::wstring>{L"a.bcdefghi", L"jkl"}), WrapAnywhere(L"a.bcdefghijkl", 10, fixed));
  EXPECT_EQ((std::vector<std::wstring>{L"a", L"b", L"c"}), WrapAnywhere(L"abc", 0, fixed));
  EXPECT_TRUE(WrapAnywhere(L"", 10, fixed).empty());
}

}  // namespace
