// Hexadecimal input, blank removal and serial-number canonicalisation, with
// the properties callers rely on.
#include <cstring>
#include <cwchar>
#include <vector>

#include "certutil/hex_text.h"
#include "fuzz/wide_input.h"

using namespace norelCertInfoUtl;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Bytes to text and back give the same bytes.
  std::vector<wchar_t> hex(size * 2 + 1, L'\0');
  EncodeHex(data, size, hex.data());
  std::vector<uint8_t> back(size + 1);
  DecodeHexPairs(hex.data(), size, back.data());
  FUZZ_REQUIRE(size == 0 || memcmp(back.data(), data, size) == 0);

  // Arbitrary text: blank removal keeps order, drops only characters up to
  // 0x20, and decoding never reads past the text.
  std::wstring text = fuzzing::WideUnits(data, size);
  std::vector<wchar_t> kept(text.size() + 1, L'\0');
  size_t n = CopyWithoutBlanks(text.c_str(), text.size(), kept.data());
  FUZZ_REQUIRE(n <= text.size());
  size_t dropped = 0;
  for (wchar_t c : text) dropped += static_cast<unsigned>(c) <= 0x20;
  FUZZ_REQUIRE(n + dropped == text.size());
  for (size_t i = 0; i < n; ++i) FUZZ_REQUIRE(static_cast<unsigned>(kept[i]) > 0x20);
  std::vector<uint8_t> bytes(n / 2 + 1);
  DecodeHexPairs(kept.data(), n / 2, bytes.data());
  for (wchar_t c : text) {
    int v = HexNibble(c);
    FUZZ_REQUIRE(v >= 0 && v < 16);
  }

  // The serial's significant text is a suffix of the text, never starts
  // with "00" and keeps at most three leading F.
  const wchar_t* start = SkipSerialPadding(text.c_str());
  FUZZ_REQUIRE(start >= text.c_str() && start <= text.c_str() + wcslen(text.c_str()));
  FUZZ_REQUIRE(!(start[0] == L'0' && start[1] == L'0'));
  FUZZ_REQUIRE(EqualFoldingAscii(start, start));
  std::wstring upper(start);
  for (wchar_t& c : upper)
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - 32);
  FUZZ_REQUIRE(EqualFoldingAscii(start, upper.c_str()));
  return 0;
}
