#pragma once
// Standard base64 (RFC 4648, with padding) for byte arrays in messages.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace bridge {

std::string EncodeBase64(const uint8_t* data, size_t size);
// Strict: only the 64 letters, '=' padding to a multiple of four, no blanks.
bool DecodeBase64(const std::u16string& text, std::vector<uint8_t>* out);

}  // namespace bridge
