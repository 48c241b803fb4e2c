#include "sitelock/public_suffix.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace sitelock {
namespace {

#include "public_suffix_table.inc"

// Whether the list has this rule text (ASCII), by binary search.
bool HasRule(const std::string& rule) {
  const unsigned* begin = kRuleOffsets;
  const unsigned* end = kRuleOffsets + kRuleCount;
  const unsigned* at = std::lower_bound(begin, end, rule, [](unsigned offset, const std::string& wanted) {
    return std::strcmp(kRuleText + offset, wanted.c_str()) < 0;
  });
  return at != end && rule == kRuleText + *at;
}

// The host as narrow text, or false when it holds anything but ASCII.
bool Narrow(const std::wstring& host, std::string* out) {
  out->clear();
  for (wchar_t c : host) {
    if (c == 0 || c > 0x7F) return false;
    *out += static_cast<char>(c >= L'A' && c <= L'Z' ? c - L'A' + L'a' : c);
  }
  return true;
}

// The start of each label of the name.
std::vector<size_t> LabelStarts(const std::string& name) {
  std::vector<size_t> starts{0};
  for (size_t i = 0; i < name.size(); ++i)
    if (name[i] == '.') starts.push_back(i + 1);
  return starts;
}

// Where the public suffix starts in the name (an index into the name);
// `listed` tells whether a rule of the list decided it (else the implicit
// rule "*" did: the last label).
size_t SuffixStart(const std::string& name, bool* listed = nullptr) {
  std::vector<size_t> labels = LabelStarts(name);
  if (listed) *listed = true;
  // An exception rule wins over every other; it takes its leftmost label
  // off.
  for (size_t i = 0; i + 1 < labels.size(); ++i)
    if (HasRule("!" + name.substr(labels[i]))) return labels[i + 1];
  // Otherwise the longest suffix a rule names, or a wildcard's parent names.
  for (size_t i = 0; i < labels.size(); ++i) {
    if (HasRule(name.substr(labels[i]))) return labels[i];
    if (i + 1 < labels.size() && HasRule("*." + name.substr(labels[i + 1]))) return labels[i];
  }
  if (listed) *listed = false;
  return labels.back();
}

bool IsIpv4(const std::wstring& host) {
  int parts = 0, digits = 0;
  unsigned value = 0;
  for (size_t i = 0; i <= host.size(); ++i) {
    if (i == host.size() || host[i] == L'.') {
      if (digits == 0 || value > 255) return false;
      ++parts;
      digits = 0;
      value = 0;
      continue;
    }
    if (host[i] < L'0' || host[i] > L'9' || ++digits > 3) return false;
    value = value * 10 + static_cast<unsigned>(host[i] - L'0');
  }
  return parts == 4;
}

}  // namespace

std::wstring PublicSuffixOf(const std::wstring& host) {
  std::string name;
  if (host.empty() || !Narrow(host, &name) || IsIpAddressHost(host)) return std::wstring();
  return host.substr(SuffixStart(name));
}

bool IsPublicSuffix(const std::wstring& domain) {
  return !domain.empty() && PublicSuffixOf(domain).size() == domain.size();
}

std::wstring RegistrableDomain(const std::wstring& host) {
  std::string name;
  if (host.empty() || !Narrow(host, &name) || IsIpAddressHost(host)) return std::wstring();
  size_t suffix = SuffixStart(name);
  if (suffix == 0) return std::wstring();
  size_t dot = name.rfind('.', suffix - 2);
  return host.substr(dot == std::string::npos ? 0 : dot + 1);
}

bool IsListedSuffixOrParent(const std::wstring& domain) {
  std::string name;
  if (domain.empty() || !Narrow(domain, &name) || IsIpAddressHost(domain)) return false;
  if (HasRule("*." + name)) return true;
  bool listed = false;
  return SuffixStart(name, &listed) == 0 && listed;
}

bool IsIpAddressHost(const std::wstring& host) {
  if (host.size() >= 2 && host.front() == L'[' && host.back() == L']') return true;
  return IsIpv4(host);
}

const char* PublicSuffixListDate() { return kListDate; }

}  // namespace sitelock
