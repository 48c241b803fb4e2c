#include "bridge/host/chunking.h"

namespace bridge {

namespace {

// Bytes the JSON string escape of byte `c` takes.
size_t EscapedSize(unsigned char c) {
  if (c == '"' || c == '\\' || c == '\n' || c == '\r' || c == '\t' || c == '\b' || c == '\f') return 2;
  return c < 0x20 ? 6 : 1;
}

void AppendEscaped(const std::string& text, size_t from, size_t to, std::string* out) {
  static const char kHex[] = "0123456789abcdef";
  for (size_t i = from; i < to; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    switch (c) {
      case '"': out->append("\\\""); break;
      case '\\': out->append("\\\\"); break;
      case '\n': out->append("\\n"); break;
      case '\r': out->append("\\r"); break;
      case '\t': out->append("\\t"); break;
      case '\b': out->append("\\b"); break;
      case '\f': out->append("\\f"); break;
      default:
        if (c < 0x20) {
          out->append("\\u00");
          out->push_back(kHex[c >> 4]);
          out->push_back(kHex[c & 15]);
        } else {
          out->push_back(static_cast<char>(c));
        }
    }
  }
}

// Length of the UTF-8 sequence starting with `lead` (1 for anything else, so
// a stray byte never stalls the split).
size_t SequenceLength(unsigned char lead) {
  if ((lead & 0xE0) == 0xC0) return 2;
  if ((lead & 0xF0) == 0xE0) return 3;
  if ((lead & 0xF8) == 0xF0) return 4;
  return 1;
}

std::string Header(const std::string& idJson, size_t i, size_t n) {
  return "{\"id\":" + idJson + ",\"chunk\":" + std::to_string(i) + ",\"chunks\":" + std::to_string(n) +
         ",\"data\":\"";
}

}  // namespace

std::vector<std::string> SplitAnswer(const std::string& idJson, const std::string& answer, size_t limit) {
  if (answer.size() <= limit) return {answer};
  // Room for the slice in each message, with the chunk numbers at their
  // widest (20 digits each) and the closing quote and brace.
  size_t overhead = Header(idJson, 0, 0).size() + 40 + 2;
  if (overhead + 6 >= limit) return {};
  size_t room = limit - 1 - overhead;  // fewer than `limit` bytes in all

  std::vector<std::pair<size_t, size_t>> slices;
  size_t start = 0, used = 0, i = 0;
  while (i < answer.size()) {
    size_t len = SequenceLength(static_cast<unsigned char>(answer[i]));
    if (len > answer.size() - i) len = answer.size() - i;
    size_t cost = 0;
    for (size_t k = 0; k < len; ++k) cost += EscapedSize(static_cast<unsigned char>(answer[i + k]));
    if (used + cost > room) {
      slices.emplace_back(start, i);
      start = i;
      used = 0;
    }
    used += cost;
    i += len;
  }
  slices.emplace_back(start, answer.size());

  std::vector<std::string> messages;
  messages.reserve(slices.size());
  for (size_t k = 0; k < slices.size(); ++k) {
    std::string m = Header(idJson, k, slices.size());
    AppendEscaped(answer, slices[k].first, slices[k].second, &m);
    m.append("\"}");
    messages.push_back(std::move(m));
  }
  return messages;
}

}  // namespace bridge
