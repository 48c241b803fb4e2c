#include "certutil/hex_text.h"

namespace norelCertInfoUtl {
namespace {
const wchar_t kHexDigits[] = L"0123456789abcdef";

wchar_t FoldAscii(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c; }

bool StartsWithFolded(const wchar_t* text, const wchar_t* prefix) {
  for (; *prefix; ++text, ++prefix) {
    if (!*text || FoldAscii(*text) != *prefix) return false;
  }
  return true;
}
}  // namespace

void EncodeHex(const uint8_t* bytes, size_t length, wchar_t* out) {
  for (size_t i = 0; i < length; ++i) {
    out[2 * i] = kHexDigits[bytes[i] >> 4];
    out[2 * i + 1] = kHexDigits[bytes[i] & 0x0F];
  }
}

int HexNibble(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  wchar_t folded = FoldAscii(c);
  if (folded >= L'a' && folded <= L'f') return folded - L'a' + 10;
  return 0;
}

void DecodeHexPairs(const wchar_t* text, size_t pairs, uint8_t* out) {
  for (size_t i = 0; i < pairs; ++i)
    out[i] = static_cast<uint8_t>(HexNibble(text[2 * i]) * 16 + HexNibble(text[2 * i + 1]));
}

size_t CopyWithoutBlanks(const wchar_t* text, size_t length, wchar_t* out) {
  size_t kept = 0;
  for (size_t i = 0; i < length; ++i) {
    if (static_cast<unsigned>(text[i]) > 0x20) out[kept++] = text[i];
  }
  return kept;
}

const wchar_t* SkipSerialPadding(const wchar_t* text) {
  while (StartsWithFolded(text, L"00")) text += 2;
  while (StartsWithFolded(text, L"ffff")) text += 2;
  return text;
}

bool EqualFoldingAscii(const wchar_t* a, const wchar_t* b) {
  for (; *a && *b; ++a, ++b) {
    if (FoldAscii(*a) != FoldAscii(*b)) return false;
  }
  return *a == *b;
}

}  // namespace norelCertInfoUtl
