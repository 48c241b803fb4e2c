#pragma once
// The public suffixes (com, co.uk, any name under ck but www.ck, ...) and
// the registrable domain a host name belongs to: the name one label below
// its public suffix, which is what a person must read to know the site.
// The rules are those of the public suffix list, compiled into the module
// at build time (sitelock/make_public_suffixes.py). Platform-free.
#include <string>

namespace sitelock {

// The public suffix of a host name as origins hold it (lower-case ASCII,
// punycode labels): the longest suffix a rule names, an exception rule
// ("!www.ck") taking one label off its wildcard ("*.ck"); the last label
// when no rule names it. Empty for an empty host.
std::wstring PublicSuffixOf(const std::wstring& host);

// Whether the whole name is a public suffix ("com", "co.uk", "x.ck").
bool IsPublicSuffix(const std::wstring& domain);

// Whether the list itself names the domain as a public suffix ("com",
// "co.uk", "x.ck" by the rule "*.ck") or names every name under it one
// ("ck", by "*.ck"). A name that only the implicit rule makes a suffix (an
// unlisted top-level name such as "corp") is not, nor is one an exception
// takes out ("www.ck").
bool IsListedSuffixOrParent(const std::wstring& domain);

// The registrable domain: the public suffix and the one label before it
// ("attacker.example" for "a.b.attacker.example"); empty when the host is
// itself a public suffix, a single label, or an IP address.
std::wstring RegistrableDomain(const std::wstring& host);

// An IPv4 address in dotted decimal, or a bracketed IPv6 literal.
bool IsIpAddressHost(const std::wstring& host);

// The date of the list the table was made from (YYYY-MM-DD).
const char* PublicSuffixListDate();

}  // namespace sitelock
