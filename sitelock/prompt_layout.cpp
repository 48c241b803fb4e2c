#include "sitelock/prompt_layout.h"

#include "sitelock/public_suffix.h"

namespace sitelock {

PromptText PromptTextFor(const Origin& origin) {
  PromptText text;
  text.origin = origin.Text();
  text.ipAddress = IsIpAddressHost(origin.host);
  if (!text.ipAddress) text.site = RegistrableDomain(origin.host);
  if (text.site.empty()) text.site = origin.host;
  return text;
}

std::vector<std::wstring> WrapAnywhere(const std::wstring& text, int width, const Measure& measure) {
  std::vector<std::wstring> lines;
  size_t start = 0;
  while (start < text.size()) {
    // The longest run from `start` that fits; at least one character.
    size_t end = start + 1;
    while (end < text.size() && measure(text.substr(start, end + 1 - start)) <= width) ++end;
    if (end < text.size()) {
      // A break after a dot or hyphen reads better, if the line stays at
      // least half full.
      for (size_t at = end; at > start + (end - start) / 2; --at) {
        if (text[at - 1] == L'.' || text[at - 1] == L'-') {
          end = at;
          break;
        }
      }
    }
    lines.push_back(text.substr(start, end - start));
    start = end;
  }
  return lines;
}

PromptLayout LayoutPrompt(const PromptText& text, int width, const Measure& siteMeasure,
                          const Measure& originMeasure) {
  PromptLayout layout;
  layout.siteLines = WrapAnywhere(text.site, width, siteMeasure);
  layout.originLines = WrapAnywhere(text.origin, width, originMeasure);
  return layout;
}

}  // namespace sitelock
