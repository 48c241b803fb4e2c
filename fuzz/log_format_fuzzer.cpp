// The log's formatting of arbitrary arguments: a directive built from the
// input (flags, width, precision, length, conversion) with an argument of
// the type it asks for, surrounded by input text; then the bytes written to
// the file. Text that comes from a caller is always an argument, never the
// format, so input '%' characters in the literal parts are doubled.
#include <cstring>
#include <string>

#include "diag/log_format.h"
#include "fuzz/wide_input.h"

namespace {

struct Cursor {
  const uint8_t* data;
  size_t size;
  uint8_t Byte() {
    if (!size) return 0;
    --size;
    return *data++;
  }
};

std::wstring Literal(const std::wstring& text) {
  std::wstring out;
  for (wchar_t c : text) {
    if (c == L'\0') continue;
    out += c;
    if (c == L'%') out += L'%';
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Cursor in{data, size};
  uint8_t flags = in.Byte(), width = in.Byte(), precision = in.Byte(), shape = in.Byte();
  std::wstring directive = L"%";
  const wchar_t kFlags[] = L"-+ #0";
  for (int i = 0; i < 5; ++i)
    if (flags & (1 << i)) directive += kFlags[i];
  if (flags & 0x20) directive += std::to_wstring(width);
  else if (flags & 0x40) directive += L"*";
  if (flags & 0x80) directive += L"." + std::to_wstring(precision);
  const wchar_t* const kLengths[] = {L"", L"h", L"l", L"ll", L"w", L"I64", L"I32", L"I", L"z"};
  directive += kLengths[(shape >> 4) % 9];
  const wchar_t kConversions[] = L"diuxXocCsSp%nqZ";
  wchar_t conversion = kConversions[(shape & 0x0F) % 15];
  directive += conversion;

  std::wstring rest = fuzzing::WideUnits(in.data, in.size);
  std::wstring format = Literal(rest.substr(0, rest.size() / 2)) + directive + Literal(rest.substr(rest.size() / 2));
  std::wstring wideArg(rest.c_str());
  std::string narrowArg(reinterpret_cast<const char*>(in.data), in.size);
  narrowArg = narrowArg.c_str();
  long long number = 0;
  memcpy(&number, in.data, in.size < sizeof(number) ? in.size : sizeof(number));
  int star = static_cast<int>(width) - 128;

  int length = (shape >> 4) % 9;
  bool wideModifier = length == 2 || length == 3 || length == 4;  // l, ll, w
  bool narrowText = (conversion == L'S' || length == 1) && !wideModifier;
  bool starArg = !(flags & 0x20) && (flags & 0x40);
  const wchar_t* f = format.c_str();
  std::wstring out;
  switch (conversion) {
    case L's':
    case L'S':
      if (narrowText)
        out = starArg ? diag::Format(f, star, narrowArg.c_str()) : diag::Format(f, narrowArg.c_str());
      else
        out = starArg ? diag::Format(f, star, wideArg.c_str()) : diag::Format(f, wideArg.c_str());
      break;
    case L'p':
      out = starArg ? diag::Format(f, star, static_cast<void*>(nullptr)) : diag::Format(f, static_cast<void*>(nullptr));
      break;
    default:
      // Integers and characters: pass the widest integer the directive may
      // read, so that any length modifier finds its argument.
      out = starArg ? diag::Format(f, star, number) : diag::Format(f, number);
      break;
  }
  std::string bytes = diag::ToLogBytes(out);
  FUZZ_REQUIRE(bytes.size() >= out.size());
  // A text argument reaches the output as data, whole when no precision
  // cuts it, its control characters in the escaped form \u00XX.
  if ((conversion == L's' || conversion == L'S') && !(flags & 0x80) && !narrowText) {
    std::wstring escaped;
    for (wchar_t ch : wideArg) {
      if (ch < 0x20 || ch == 0x7F) escaped += diag::Format(L"\\u%04X", static_cast<unsigned>(ch));
      else escaped += ch;
    }
    FUZZ_REQUIRE(out.find(escaped) != std::wstring::npos);
  }
  return 0;
}
