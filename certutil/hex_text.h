#pragma once
#include <cstddef>
#include <cstdint>

// The text rules behind hexadecimal input, serial numbers and thumbprints.
// They touch no platform and allocate nothing: callers own every buffer.
namespace norelCertInfoUtl {

// Writes 2 * `length` lower-case hexadecimal characters (no terminator).
void EncodeHex(const uint8_t* bytes, size_t length, wchar_t* out);

// The value of a hexadecimal digit of either case; any other character
// counts as 0, as it always has for callers that pass loosely typed text.
int HexNibble(wchar_t c);

// Decodes `pairs` character pairs of `text` into `out`.
void DecodeHexPairs(const wchar_t* text, size_t pairs, uint8_t* out);

// Copies the characters of `text[0..length)` above 0x20 into `out` (room
// for `length` characters) and answers how many were kept. Blanks, line
// breaks and every control character go, wherever they stand.
size_t CopyWithoutBlanks(const wchar_t* text, size_t length, wchar_t* out);

// Where a serial number's significant text starts: after any leading "00"
// pairs, and with a leading run of F (either case) shortened to fewer than
// four, so that the signed and unsigned forms of a number meet.
const wchar_t* SkipSerialPadding(const wchar_t* text);

// Equality with only A to Z folded to a to z.
bool EqualFoldingAscii(const wchar_t* a, const wchar_t* b);

}  // namespace norelCertInfoUtl
