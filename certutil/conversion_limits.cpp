#include "certutil/conversion_limits.h"

namespace norelCertInfoUtl {
namespace {

// CRYPT_STRING_* values (wincrypt.h).
constexpr uint32_t kFormatMask = 0xFF;
constexpr uint32_t kNoCrLf = 0x40000000;
constexpr uint32_t kPercentEscape = 0x08000000;

enum class Family { kUnknown, kBase64, kBinary, kHex };

Family FamilyOf(uint32_t format, bool* header) {
  *header = false;
  switch (format) {
    case 0x0:  // BASE64HEADER
    case 0x3:  // BASE64REQUESTHEADER
    case 0x9:  // BASE64X509CRLHEADER
      *header = true;
      return Family::kBase64;
    case 0x1:  // BASE64
    case 0xD:  // BASE64URI
      return Family::kBase64;
    case 0x2:  // BINARY
      return Family::kBinary;
    case 0x4:  // HEX
    case 0x5:  // HEXASCII
    case 0xA:  // HEXADDR
    case 0xB:  // HEXASCIIADDR
    case 0xC:  // HEXRAW
      return Family::kHex;
    default:
      return Family::kUnknown;
  }
}

uint64_t CeilDiv(uint64_t a, uint64_t b) { return (a + b - 1) / b; }

// Room for a header and its trailer ("-----BEGIN X509 CRL-----" and the
// like, with their line breaks): the longest is well under this.
constexpr uint64_t kHeaderChars = 128;
// A hexadecimal dump line holds 16 bytes: an address of up to 8 digits,
// three characters per byte, a gap, 16 ASCII characters and a line break
// come to under 96 characters on every platform.
constexpr uint64_t kHexLineChars = 96;

}  // namespace

SizeRange EncodedChars(uint32_t bytes, uint32_t flags) {
  SizeRange range;
  bool header = false;
  Family family = FamilyOf(flags & kFormatMask, &header);
  const uint64_t n = bytes;
  const bool lineBreaks = (flags & kNoCrLf) == 0;
  switch (family) {
    case Family::kUnknown:
      return range;
    case Family::kBase64: {
      uint64_t data = 4 * CeilDiv(n, 3);
      if (flags & kPercentEscape) data *= 3;  // "+", "/", "=" written as %2B and the like
      range.least = data;
      range.most = data + 1;
      // A line break (CR LF, or LF alone with NOCR) after every 64
      // characters and after the last line.
      if (lineBreaks) range.most += 2 * (CeilDiv(data, 64) + 1);
      if (header) range.most += kHeaderChars;
      break;
    }
    case Family::kBinary:
      // The bytes as they are: two per character, or (Wine) reported as
      // one character per byte; some platforms add a line break even to
      // nothing. Room for the most holds either.
      range.least = n / 2;
      range.most = n + 4;
      break;
    case Family::kHex:
      range.least = 2 * n;  // HEXRAW: two digits per byte, nothing else
      range.most = (CeilDiv(n, 16) + 1) * kHexLineChars + 1;
      break;
  }
  range.known = true;
  return range;
}

uint64_t DecodedBytesMost(uint32_t chars, uint32_t flags) {
  const uint64_t n = chars;
  switch (flags & kFormatMask) {
    case 0x0: case 0x1: case 0x3: case 0x6: case 0x9: case 0xD:  // base64 forms
      return CeilDiv(n * 3, 4);
    case 0x4: case 0x5: case 0x8: case 0xA: case 0xB: case 0xC:  // hexadecimal forms
      return CeilDiv(n, 2);
    default:  // BINARY, ANY, and formats not known: the text's own bytes
      return 2 * n;
  }
}

}  // namespace norelCertInfoUtl
