#include "certutil/time_fields.h"

#include <cstddef>
#include <cwctype>

namespace norelCertInfoUtl {
namespace {

constexpr size_t kMaxChars = 30;

class Reader {
 public:
  explicit Reader(const wchar_t* text) : m_text(text) {}
  wchar_t Peek() const { return (m_text && m_pos < kMaxChars) ? m_text[m_pos] : L'\0'; }
  void Next() { ++m_pos; }
  void SkipSpace() {
    while (Peek() && iswspace(Peek())) Next();
  }
  // A number of at most `width` characters (a sign counts).
  bool Number(int width, int* value) {
    SkipSpace();
    int used = 0;
    bool negative = false;
    if ((Peek() == L'+' || Peek() == L'-') && used < width) {
      negative = Peek() == L'-';
      Next();
      ++used;
    }
    int digits = 0, v = 0;
    while (used < width && Peek() >= L'0' && Peek() <= L'9') {
      v = v * 10 + (Peek() - L'0');
      Next();
      ++used;
      ++digits;
    }
    if (digits == 0) return false;
    *value = negative ? -v : v;
    return true;
  }
  bool Literal(wchar_t c) {
    if (Peek() != c) return false;
    Next();
    return true;
  }

 private:
  const wchar_t* m_text;
  size_t m_pos = 0;
};

}  // namespace

int ParseTimeFields(const wchar_t* text, TimeFields* out) {
  Reader r(text);
  int value = 0;
  unsigned short* fields[6] = {&out->year, &out->month, &out->day, &out->hour, &out->minute, &out->second};
  const int widths[6] = {4, 2, 2, 2, 2, 2};
  for (int i = 0; i < 6; ++i) {
    if (i == 1 || i == 2) {
      if (!r.Literal(L'/')) return i;
    } else if (i == 3) {
      r.SkipSpace();
    } else if (i > 3) {
      if (!r.Literal(L':')) return i;
    }
    if (!r.Number(widths[i], &value)) return i;
    *fields[i] = static_cast<unsigned short>(value);
  }
  return 6;
}

}  // namespace norelCertInfoUtl
