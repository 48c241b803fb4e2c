#pragma once
// How much BinaryToString and StringToBinary take, and how much text or how
// many bytes a conversion can give: the control sizes its buffers from its
// own input, never from a size the platform reports alone. Platform-free
// (the format numbers are CryptoAPI's CRYPT_STRING_* values), so that the
// arithmetic is tested for every length.
#include <cstdint>

namespace norelCertInfoUtl {

// BinaryToString encodes at most this many bytes (64 MiB).
constexpr uint32_t kMaxEncodeBytes = 64u * 1024 * 1024;
// StringToBinary decodes a text of at most this many characters (64 Mi).
constexpr uint32_t kMaxDecodeChars = 64u * 1024 * 1024;

// The characters (terminator included) that encoding `bytes` bytes with the
// CRYPT_STRING_* `flags` can produce, at least and at most. Every format
// the control knows has both; for any other format `known` is false and
// nothing may be asked of the platform. The bounds hold for lengths up to
// kMaxEncodeBytes and never overflow there.
struct SizeRange {
  bool known = false;
  uint64_t least = 0;
  uint64_t most = 0;
  bool Holds(uint64_t size) const { return known && size >= least && size <= most; }
};
SizeRange EncodedChars(uint32_t bytes, uint32_t flags);

// The bytes that decoding a text of `chars` characters with `flags` can
// give, at most (binary data and CRYPT_STRING_ANY: the text's own two bytes
// per character; base64: three per four characters; hexadecimal: one per
// two). Any format not known is bounded by the largest, two per character.
uint64_t DecodedBytesMost(uint32_t chars, uint32_t flags);

}  // namespace norelCertInfoUtl
