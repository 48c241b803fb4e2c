#include "bridge/host/base64.h"

namespace bridge {

namespace {
const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int LetterValue(char16_t c) {
  if (c >= u'A' && c <= u'Z') return c - u'A';
  if (c >= u'a' && c <= u'z') return c - u'a' + 26;
  if (c >= u'0' && c <= u'9') return c - u'0' + 52;
  if (c == u'+') return 62;
  if (c == u'/') return 63;
  return -1;
}
}  // namespace

std::string EncodeBase64(const uint8_t* data, size_t size) {
  std::string out;
  out.reserve((size + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= size; i += 3) {
    uint32_t v = (data[i] << 16) | (data[i + 1] << 8) | data[i + 2];
    out.push_back(kLetters[v >> 18]);
    out.push_back(kLetters[(v >> 12) & 63]);
    out.push_back(kLetters[(v >> 6) & 63]);
    out.push_back(kLetters[v & 63]);
  }
  if (size - i == 1) {
    uint32_t v = data[i] << 16;
    out.push_back(kLetters[v >> 18]);
    out.push_back(kLetters[(v >> 12) & 63]);
    out.append("==");
  } else if (size - i == 2) {
    uint32_t v = (data[i] << 16) | (data[i + 1] << 8);
    out.push_back(kLetters[v >> 18]);
    out.push_back(kLetters[(v >> 12) & 63]);
    out.push_back(kLetters[(v >> 6) & 63]);
    out.push_back('=');
  }
  return out;
}

bool DecodeBase64(const std::u16string& text, std::vector<uint8_t>* out) {
  out->clear();
  if (text.size() % 4 != 0) return false;
  out->reserve(text.size() / 4 * 3);
  for (size_t i = 0; i < text.size(); i += 4) {
    bool last = i + 4 == text.size();
    int pad = 0;
    if (last && text[i + 3] == u'=') pad = text[i + 2] == u'=' ? 2 : 1;
    uint32_t v = 0;
    for (int k = 0; k < 4; ++k) {
      int letter = k >= 4 - pad ? 0 : LetterValue(text[i + k]);
      if (letter < 0) return false;
      v = (v << 6) | static_cast<uint32_t>(letter);
    }
    // Bits under the padding must be zero: one text per byte string.
    if ((pad == 1 && (v & 0xFF)) || (pad == 2 && (v & 0xFFFF))) return false;
    out->push_back(static_cast<uint8_t>(v >> 16));
    if (pad < 2) out->push_back(static_cast<uint8_t>(v >> 8));
    if (pad < 1) out->push_back(static_cast<uint8_t>(v));
  }
  return true;
}

}  // namespace bridge
