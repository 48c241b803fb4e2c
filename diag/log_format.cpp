#include "diag/log_format.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <cwctype>
#include <utility>

#include "diag/log_limits.h"

namespace diag {
namespace {

struct Spec {
  bool left = false, plus = false, space = false, alt = false, zero = false;
  int width = -1;
  int precision = -1;
  enum Length { kDefault, kShort, kLong, kLongLong, kPtr } length = kDefault;
  bool narrowText = false;  // h on s/c, or S/C
  bool wideText = false;    // l or w on s/c
};

void Pad(std::wstring& out, const std::wstring& body, const Spec& s, wchar_t fill) {
  size_t width = s.width > 0 ? static_cast<size_t>(s.width) : 0;
  if (body.size() >= width) {
    out += body;
  } else if (s.left) {
    out += body;
    out.append(width - body.size(), L' ');
  } else {
    out.append(width - body.size(), fill);
    out += body;
  }
}

std::wstring Digits(unsigned long long v, unsigned base, bool upper) {
  const wchar_t* set = upper ? L"0123456789ABCDEF" : L"0123456789abcdef";
  std::wstring d;
  do {
    d.insert(d.begin(), set[v % base]);
    v /= base;
  } while (v);
  return d;
}

void Number(std::wstring& out, const Spec& s, bool negative, unsigned long long mag, unsigned base,
            bool upper, bool isSigned) {
  std::wstring digits = (s.precision == 0 && mag == 0) ? L"" : Digits(mag, base, upper);
  if (s.precision > 0 && digits.size() < static_cast<size_t>(s.precision))
    digits.insert(0, static_cast<size_t>(s.precision) - digits.size(), L'0');
  std::wstring prefix;
  if (negative)
    prefix = L"-";
  else if (isSigned && s.plus)
    prefix = L"+";
  else if (isSigned && s.space)
    prefix = L" ";
  if (s.alt && mag != 0 && base == 16) prefix += upper ? L"0X" : L"0x";
  if (s.alt && base == 8 && (digits.empty() || digits[0] != L'0')) digits.insert(0, 1, L'0');
  bool zeroFill = s.zero && !s.left && s.precision < 0;
  if (zeroFill && s.width > 0 && prefix.size() + digits.size() < static_cast<size_t>(s.width))
    digits.insert(0, static_cast<size_t>(s.width) - prefix.size() - digits.size(), L'0');
  Pad(out, prefix + digits, s, L' ');
}

bool IsControl(wchar_t ch) { return ch < 0x20 || ch == 0x7F; }

std::wstring Widen(const char* text, int precision) {
  std::wstring w;
  for (size_t i = 0; text[i] && (precision < 0 || w.size() < static_cast<size_t>(precision)); ++i)
    w += static_cast<wchar_t>(static_cast<unsigned char>(text[i]));
  return w;
}

// A text argument as an entry holds it: control characters (below 0x20, and
// DEL) in the escaped form \uXXXX, so that no argument can break a line or
// start what looks like an entry of its own.
std::wstring EscapeControls(std::wstring text) {
  size_t i = 0;
  while (i < text.size() && !IsControl(text[i])) ++i;
  if (i == text.size()) return text;
  std::wstring out(text, 0, i);
  for (; i < text.size(); ++i) {
    wchar_t ch = text[i];
    if (!IsControl(ch)) {
      out += ch;
      continue;
    }
    static const wchar_t hex[] = L"0123456789ABCDEF";
    out += L"\\u00";
    out += hex[(ch >> 4) & 0xF];
    out += hex[ch & 0xF];
  }
  return out;
}

std::wstring FormatWith(const wchar_t* format, va_list args, bool cut) {
  std::wstring out;
  if (!format) return out;
  va_list ap;
  va_copy(ap, args);
  for (const wchar_t* p = format; *p; ++p) {
    if (*p != L'%') {
      out += *p;
      continue;
    }
    const wchar_t* start = p++;
    Spec s;
    for (;; ++p) {
      if (*p == L'-') s.left = true;
      else if (*p == L'+') s.plus = true;
      else if (*p == L' ') s.space = true;
      else if (*p == L'#') s.alt = true;
      else if (*p == L'0') s.zero = true;
      else break;
    }
    if (*p == L'*') {
      int w = va_arg(ap, int);
      if (w < 0) {
        s.left = true;
        w = w == INT_MIN ? INT_MAX : -w;
      }
      s.width = w;
      ++p;
    } else {
      while (iswdigit(*p)) s.width = (s.width < 0 ? 0 : s.width) * 10 % 100000000 + (*p++ - L'0');
    }
    if (*p == L'.') {
      ++p;
      s.precision = 0;
      if (*p == L'*') {
        s.precision = va_arg(ap, int);
        ++p;
      } else {
        while (iswdigit(*p)) s.precision = s.precision * 10 % 100000000 + (*p++ - L'0');
      }
    }
    if (*p == L'h') {
      s.length = Spec::kShort;
      s.narrowText = true;
      ++p;
      if (*p == L'h') ++p;
    } else if (*p == L'l') {
      s.length = Spec::kLong;
      s.wideText = true;
      ++p;
      if (*p == L'l') {
        s.length = Spec::kLongLong;
        ++p;
      }
    } else if (*p == L'w') {
      s.wideText = true;
      ++p;
    } else if (p[0] == L'I' && p[1] == L'6' && p[2] == L'4') {
      s.length = Spec::kLongLong;
      p += 3;
    } else if (p[0] == L'I' && p[1] == L'3' && p[2] == L'2') {
      s.length = Spec::kDefault;
      p += 3;
    } else if (*p == L'I' || *p == L'z' || *p == L't' || *p == L'j') {
      s.length = *p == L'j' ? Spec::kLongLong : Spec::kPtr;
      ++p;
    }
    switch (*p) {
      case L'd':
      case L'i': {
        long long v;
        if (s.length == Spec::kLongLong) v = va_arg(ap, long long);
        else if (s.length == Spec::kPtr) v = va_arg(ap, intptr_t);
        else if (s.length == Spec::kLong) v = va_arg(ap, long);
        else if (s.length == Spec::kShort) v = static_cast<short>(va_arg(ap, int));
        else v = va_arg(ap, int);
        unsigned long long mag = v < 0 ? 0ULL - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v);
        Number(out, s, v < 0, mag, 10, false, true);
        break;
      }
      case L'u':
      case L'x':
      case L'X':
      case L'o': {
        unsigned long long v;
        if (s.length == Spec::kLongLong) v = va_arg(ap, unsigned long long);
        else if (s.length == Spec::kPtr) v = va_arg(ap, uintptr_t);
        else if (s.length == Spec::kLong) v = va_arg(ap, unsigned long);
        else if (s.length == Spec::kShort) v = static_cast<unsigned short>(va_arg(ap, unsigned));
        else v = va_arg(ap, unsigned);
        unsigned base = *p == L'u' ? 10 : (*p == L'o' ? 8 : 16);
        Number(out, s, false, v, base, *p == L'X', false);
        break;
      }
      case L'p': {
        Spec ps = s;
        ps.precision = static_cast<int>(sizeof(void*) * 2);
        Number(out, ps, false, reinterpret_cast<uintptr_t>(va_arg(ap, void*)), 16, true, false);
        break;
      }
      case L'c':
      case L'C': {
        int v = va_arg(ap, int);
        wchar_t ch = (*p == L'C' || s.narrowText) && !s.wideText
                         ? static_cast<wchar_t>(static_cast<unsigned char>(v))
                         : static_cast<wchar_t>(v);
        Pad(out, EscapeControls(std::wstring(1, ch)), s, L' ');
        break;
      }
      case L's':
      case L'S': {
        bool narrow = (*p == L'S' || s.narrowText) && !s.wideText;
        std::wstring text;
        if (narrow) {
          const char* v = va_arg(ap, const char*);
          text = v ? Widen(v, s.precision) : L"(null)";
          if (cut) CutArgument(&text);
        } else {
          const wchar_t* v = va_arg(ap, const wchar_t*);
          if (!v) {
            text = L"(null)";
          } else {
            size_t length = s.precision >= 0 ? wcsnlen(v, static_cast<size_t>(s.precision)) : wcslen(v);
            // Only what the entry keeps is copied: an argument may be a
            // hundred megabytes.
            if (cut && length > kMaxArgumentChars) {
              text = CutArgument(v, length);
            } else {
              text.assign(v, length);
            }
          }
        }
        Pad(out, EscapeControls(std::move(text)), s, L' ');
        break;
      }
      case L'%':
        out += L'%';
        break;
      case L'n':
        break;
      case L'\0':
        out.append(start, p);
        --p;
        break;
      default:
        out.append(start, p + 1);
        break;
    }
  }
  va_end(ap);
  return out;
}

}  // namespace

std::wstring FormatV(const wchar_t* format, va_list args) { return FormatWith(format, args, false); }
std::wstring FormatEntryV(const wchar_t* format, va_list args) { return FormatWith(format, args, true); }

std::wstring Format(const wchar_t* format, ...) {
  va_list ap;
  va_start(ap, format);
  std::wstring s = FormatV(format, ap);
  va_end(ap);
  return s;
}

std::string ToLogBytes(const std::wstring& text) {
  std::string out;
  out.reserve(text.size());
  char buf[MB_LEN_MAX > 8 ? MB_LEN_MAX : 8];
  for (wchar_t ch : text) {
    if (static_cast<unsigned>(ch) < 0x80) {
      out += static_cast<char>(ch);
      continue;
    }
    int n = wctomb(buf, ch);
    if (n > 0) {
      out.append(buf, static_cast<size_t>(n));
    } else {
      static const char hex[] = "0123456789ABCDEF";
      unsigned v = static_cast<unsigned>(ch) & 0xFFFF;
      out += "\\u";
      for (int shift = 12; shift >= 0; shift -= 4) out += hex[(v >> shift) & 0xF];
    }
  }
  return out;
}

std::string ToTextMode(const std::string& bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 16);
  for (char c : bytes) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

long ParseLeadingInt(const wchar_t* text) {
  if (!text) return 0;
  while (iswspace(*text)) ++text;
  bool negative = false;
  if (*text == L'+' || *text == L'-') negative = *text++ == L'-';
  // Unsigned, so that clamping one past LONG_MAX cannot overflow whatever
  // width long has.
  const unsigned long long limit = static_cast<unsigned long long>(LONG_MAX) + 1;
  unsigned long long v = 0;
  while (*text >= L'0' && *text <= L'9') {
    unsigned digit = static_cast<unsigned>(*text++ - L'0');
    v = v > (limit - digit) / 10 ? limit : v * 10 + digit;
  }
  if (negative) return v >= limit ? LONG_MIN : -static_cast<long>(v);
  return v >= limit ? LONG_MAX : static_cast<long>(v);
}

}  // namespace diag
