#pragma once
// What the site lock's question shows of an origin, and how it is laid out:
// the site a person must recognise (the registrable domain, such as
// "attacker.example" or "example.co.uk") on lines of its own, and the full
// origin below it, broken into lines anywhere and never cut. The dialog
// measures with its fonts; the layout is decided here, platform-free, so
// that it is tested for every host length.
#include <functional>
#include <string>
#include <vector>

#include "sitelock/origin.h"

namespace sitelock {

struct PromptText {
  // The registrable domain; for an IP address host the address; for a host
  // without one (a single label, a public suffix) the host itself.
  std::wstring site;
  bool ipAddress = false;
  std::wstring origin;  // scheme://host[:port]
};
PromptText PromptTextFor(const Origin& origin);

// The width of a text in the dialog's units (pixels).
using Measure = std::function<int(const std::wstring&)>;

// The text in lines no wider than `width`, broken anywhere: after a "." or
// "-" when that keeps the line at least half full, else between any two
// characters. Every character is kept, in order; a character wider than
// `width` stands on a line of its own.
std::vector<std::wstring> WrapAnywhere(const std::wstring& text, int width, const Measure& measure);

struct PromptLayout {
  std::vector<std::wstring> siteLines;
  std::vector<std::wstring> originLines;
};
PromptLayout LayoutPrompt(const PromptText& text, int width, const Measure& siteMeasure,
                          const Measure& originMeasure);

}  // namespace sitelock
