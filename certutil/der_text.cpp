#include "certutil/der_text.h"

namespace norelCertInfoUtl {
namespace {

constexpr int kMaxDepth = 32;

void Hex(std::wstring& out, const uint8_t* p, size_t n) {
  static const wchar_t digits[] = L"0123456789abcdef";
  for (size_t i = 0; i < n; ++i) {
    out += digits[p[i] >> 4];
    out += digits[p[i] & 0xF];
  }
}

// Renders the elements in [p, p + n); false when the data is damaged.
bool RenderElements(std::wstring& out, const uint8_t* p, size_t n, int depth) {
  bool first = true;
  while (n > 0) {
    if (!first) out += L", ";
    first = false;
    DerElement e;
    if (!ReadDerElement(p, n, &e)) return false;
    uint8_t tag = e.tag;
    size_t len = e.length;
    const uint8_t* content = e.content;
    bool constructed = (tag & 0x20) != 0;
    if (constructed) {
      if (depth >= kMaxDepth) return false;
      out += L"{";
      if (!RenderElements(out, content, len, depth + 1)) return false;
      out += L"}";
    } else if (tag == 0x06) {
      std::wstring dotted = OidToDotted(content, len);
      if (dotted.empty()) return false;
      out += dotted;
    } else if (tag == 0x0C || tag == 0x13 || tag == 0x16 || tag == 0x14 || tag == 0x1A || tag == 0x81 ||
               tag == 0x82 || tag == 0x86) {
      // UTF8String, PrintableString, IA5String, T61String, VisibleString and
      // the text choices of a general name (e-mail, DNS name, URL).
      for (size_t i = 0; i < len; ++i)
        out += (content[i] >= 0x20 && content[i] < 0x7F) ? static_cast<wchar_t>(content[i]) : L'.';
    } else {
      Hex(out, content, len);
    }
    p += e.total;
    n -= e.total;
  }
  return true;
}

}  // namespace

bool ReadDerElement(const uint8_t* p, size_t n, DerElement* e) {
  // Multi-byte tags do not occur in certificate extensions.
  if (n < 2 || (p[0] & 0x1F) == 0x1F) return false;
  size_t len = p[1], header = 2;
  if (len & 0x80) {
    size_t octets = len & 0x7F;
    if (octets == 0 || octets > 4 || n < 2 + octets) return false;
    len = 0;
    for (size_t i = 0; i < octets; ++i) len = (len << 8) | p[2 + i];
    header += octets;
  }
  if (len > n - header) return false;
  *e = DerElement{p[0], p + header, len, header + len};
  return true;
}

std::wstring OidToDotted(const uint8_t* data, size_t size) {
  if (size == 0 || (data[size - 1] & 0x80)) return L"";
  std::wstring out;
  unsigned long long value = 0;
  bool firstArc = true;
  for (size_t i = 0; i < size; ++i) {
    if (value > (~0ULL >> 8)) return L"";  // arc too large to be real
    value = (value << 7) | (data[i] & 0x7F);
    if (data[i] & 0x80) continue;
    if (firstArc) {
      unsigned long long top = value < 40 ? 0 : (value < 80 ? 1 : 2);
      out += std::to_wstring(top) + L"." + std::to_wstring(value - top * 40);
      firstArc = false;
    } else {
      out += L"." + std::to_wstring(value);
    }
    value = 0;
  }
  return out;
}

std::wstring RenderDer(const uint8_t* data, size_t size) {
  std::wstring out;
  if (!data) return out;
  if (!RenderElements(out, data, size, 0)) out += L"?";
  return out;
}

}  // namespace norelCertInfoUtl
