#include "bridge/host/json.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace bridge {

Json Json::Bool(bool value) {
  Json j;
  j.type = Type::kBool;
  j.boolean = value;
  return j;
}

Json Json::Number(double value) {
  Json j;
  j.type = Type::kNumber;
  j.number = value;
  return j;
}

Json Json::String(std::u16string value) {
  Json j;
  j.type = Type::kString;
  j.text = std::move(value);
  return j;
}

Json Json::Array(std::vector<Json> values) {
  Json j;
  j.type = Type::kArray;
  j.items = std::move(values);
  return j;
}

Json Json::Object() {
  Json j;
  j.type = Type::kObject;
  return j;
}

const Json* Json::Find(const std::u16string& name) const {
  for (const auto& m : members)
    if (m.first == name) return &m.second;
  return nullptr;
}

size_t Json::Count(const std::u16string& name) const {
  size_t n = 0;
  for (const auto& m : members) n += m.first == name;
  return n;
}

namespace {

// Decodes one UTF-8 sequence at s[*i]; false for an ill-formed one
// (overlong forms, surrogates, values past U+10FFFF, truncation).
bool DecodeUtf8(const std::string& s, size_t* i, uint32_t* cp) {
  auto b = [&](size_t k) { return static_cast<uint8_t>(s[k]); };
  uint8_t c = b(*i);
  if (c < 0x80) {
    *cp = c;
    ++*i;
    return true;
  }
  size_t len;
  uint32_t min;
  if ((c & 0xE0) == 0xC0) len = 2, min = 0x80, *cp = c & 0x1F;
  else if ((c & 0xF0) == 0xE0) len = 3, min = 0x800, *cp = c & 0x0F;
  else if ((c & 0xF8) == 0xF0) len = 4, min = 0x10000, *cp = c & 0x07;
  else return false;
  if (s.size() - *i < len) return false;
  for (size_t k = 1; k < len; ++k) {
    uint8_t t = b(*i + k);
    if ((t & 0xC0) != 0x80) return false;
    *cp = (*cp << 6) | (t & 0x3F);
  }
  if (*cp < min || *cp > 0x10FFFF || (*cp >= 0xD800 && *cp <= 0xDFFF)) return false;
  *i += len;
  return true;
}

void AppendUtf16(uint32_t cp, std::u16string* out) {
  if (cp < 0x10000) {
    out->push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    out->push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out->push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  }
}

void AppendUtf8(uint32_t cp, std::string* out) {
  if (cp < 0x80) {
    out->push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

class Parser {
 public:
  explicit Parser(const std::string& s) : m_s(s) {}

  bool ParseDocument(Json* out, std::string* error) {
    SkipBlanks();
    bool ok = ParseValue(out, 0) && (SkipBlanks(), m_i == m_s.size() || Fail("text after the value"));
    if (!ok && error) *error = m_error + " at byte " + std::to_string(m_i);
    return ok;
  }

 private:
  bool Fail(const char* why) {
    if (m_error.empty()) m_error = why;
    return false;
  }
  bool AtEnd() const { return m_i >= m_s.size(); }
  char Peek() const { return m_s[m_i]; }
  void SkipBlanks() {
    while (!AtEnd() && (Peek() == ' ' || Peek() == '\t' || Peek() == '\n' || Peek() == '\r')) ++m_i;
  }
  bool Literal(const char* word) {
    size_t n = strlen(word);
    if (m_s.compare(m_i, n, word) != 0) return Fail("unknown literal");
    m_i += n;
    return true;
  }

  bool ParseValue(Json* out, int depth) {
    if (AtEnd()) return Fail("unexpected end of text");
    switch (Peek()) {
      case '{': return ParseObject(out, depth + 1);
      case '[': return ParseArray(out, depth + 1);
      case '"': out->type = Json::Type::kString; return ParseString(&out->text);
      case 't': *out = Json::Bool(true); return Literal("true");
      case 'f': *out = Json::Bool(false); return Literal("false");
      case 'n': *out = Json::Null(); return Literal("null");
      default: return ParseNumber(out);
    }
  }

  bool ParseArray(Json* out, int depth) {
    if (depth > kMaxJsonDepth) return Fail("nested too deeply");
    *out = Json::Array();
    ++m_i;
    SkipBlanks();
    if (!AtEnd() && Peek() == ']') {
      ++m_i;
      return true;
    }
    for (;;) {
      SkipBlanks();
      out->items.emplace_back();
      if (!ParseValue(&out->items.back(), depth)) return false;
      SkipBlanks();
      if (AtEnd()) return Fail("unterminated array");
      char c = m_s[m_i++];
      if (c == ']') return true;
      if (c != ',') return Fail("expected , or ] in an array");
    }
  }

  bool ParseObject(Json* out, int depth) {
    if (depth > kMaxJsonDepth) return Fail("nested too deeply");
    *out = Json::Object();
    ++m_i;
    SkipBlanks();
    if (!AtEnd() && Peek() == '}') {
      ++m_i;
      return true;
    }
    for (;;) {
      SkipBlanks();
      if (AtEnd() || Peek() != '"') return Fail("expected a member name");
      out->members.emplace_back();
      if (!ParseString(&out->members.back().first)) return false;
      SkipBlanks();
      if (AtEnd() || m_s[m_i++] != ':') return Fail("expected : after a member name");
      SkipBlanks();
      if (!ParseValue(&out->members.back().second, depth)) return false;
      SkipBlanks();
      if (AtEnd()) return Fail("unterminated object");
      char c = m_s[m_i++];
      if (c == '}') return true;
      if (c != ',') return Fail("expected , or } in an object");
    }
  }

  bool ParseString(std::u16string* out) {
    ++m_i;  // the opening quote
    out->clear();
    for (;;) {
      if (AtEnd()) return Fail("unterminated string");
      uint8_t c = static_cast<uint8_t>(Peek());
      if (c == '"') {
        ++m_i;
        return true;
      }
      if (c < 0x20) return Fail("control character in a string");
      if (c == '\\') {
        if (++m_i >= m_s.size()) return Fail("unterminated string");
        char e = m_s[m_i++];
        switch (e) {
          case '"': out->push_back(u'"'); break;
          case '\\': out->push_back(u'\\'); break;
          case '/': out->push_back(u'/'); break;
          case 'b': out->push_back(u'\b'); break;
          case 'f': out->push_back(u'\f'); break;
          case 'n': out->push_back(u'\n'); break;
          case 'r': out->push_back(u'\r'); break;
          case 't': out->push_back(u'\t'); break;
          case 'u': {
            if (m_s.size() - m_i < 4) return Fail("short \\u escape");
            unsigned unit = 0;
            for (int k = 0; k < 4; ++k) {
              int v = HexValue(m_s[m_i + k]);
              if (v < 0) return Fail("bad \\u escape");
              unit = unit * 16 + static_cast<unsigned>(v);
            }
            m_i += 4;
            // Code units as written: a pair of escapes makes one character,
            // a lone surrogate stays a lone unit.
            out->push_back(static_cast<char16_t>(unit));
            break;
          }
          default: return Fail("unknown escape");
        }
        continue;
      }
      uint32_t cp;
      if (!DecodeUtf8(m_s, &m_i, &cp)) return Fail("malformed UTF-8");
      AppendUtf16(cp, out);
    }
  }

  bool ParseNumber(Json* out) {
    size_t start = m_i;
    auto digits = [&]() {
      size_t from = m_i;
      while (!AtEnd() && Peek() >= '0' && Peek() <= '9') ++m_i;
      return m_i - from;
    };
    if (!AtEnd() && Peek() == '-') ++m_i;
    if (AtEnd()) return Fail("unexpected end of text");
    if (Peek() == '0') {
      ++m_i;
    } else if (digits() == 0) {
      return Fail("unexpected character");
    }
    if (!AtEnd() && Peek() == '.') {
      ++m_i;
      if (digits() == 0) return Fail("digits expected after the decimal point");
    }
    if (!AtEnd() && (Peek() == 'e' || Peek() == 'E')) {
      ++m_i;
      if (!AtEnd() && (Peek() == '+' || Peek() == '-')) ++m_i;
      if (digits() == 0) return Fail("digits expected in the exponent");
    }
    *out = Json::Number(0);
    out->numberText = m_s.substr(start, m_i - start);
    // The grammar above admits only what strtod reads the same way in
    // every locale that uses '.' (the C locale: nothing here changes it).
    out->number = strtod(out->numberText.c_str(), nullptr);
    return true;
  }

  const std::string& m_s;
  size_t m_i = 0;
  std::string m_error;
};

void WriteNumber(const Json& value, std::string* out) {
  if (!value.numberText.empty()) {
    out->append(value.numberText);
    return;
  }
  double d = value.number;
  if (!std::isfinite(d)) {
    out->append("null");
    return;
  }
  char buf[40];
  if (d == std::floor(d) && std::fabs(d) < 9007199254740992.0) {
    snprintf(buf, sizeof(buf), "%.0f", d);
    if (strcmp(buf, "-0") == 0) strcpy(buf, "0");
  } else {
    snprintf(buf, sizeof(buf), "%.17g", d);
  }
  out->append(buf);
}

void WriteValue(const Json& value, std::string* out) {
  switch (value.type) {
    case Json::Type::kNull: out->append("null"); break;
    case Json::Type::kBool: out->append(value.boolean ? "true" : "false"); break;
    case Json::Type::kNumber: WriteNumber(value, out); break;
    case Json::Type::kString:
      out->push_back('"');
      AppendJsonStringContent(value.text, out);
      out->push_back('"');
      break;
    case Json::Type::kArray:
      out->push_back('[');
      for (size_t i = 0; i < value.items.size(); ++i) {
        if (i) out->push_back(',');
        WriteValue(value.items[i], out);
      }
      out->push_back(']');
      break;
    case Json::Type::kObject:
      out->push_back('{');
      for (size_t i = 0; i < value.members.size(); ++i) {
        if (i) out->push_back(',');
        out->push_back('"');
        AppendJsonStringContent(value.members[i].first, out);
        out->append("\":");
        WriteValue(value.members[i].second, out);
      }
      out->push_back('}');
      break;
  }
}

}  // namespace

bool ParseJson(const std::string& utf8, Json* out, std::string* error) {
  Json parsed;
  if (!Parser(utf8).ParseDocument(&parsed, error)) return false;
  *out = std::move(parsed);
  return true;
}

void AppendJsonStringContent(const std::u16string& text, std::string* out) {
  static const char kHex[] = "0123456789abcdef";
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t u = text[i];
    switch (u) {
      case u'"': out->append("\\\""); continue;
      case u'\\': out->append("\\\\"); continue;
      case u'\n': out->append("\\n"); continue;
      case u'\r': out->append("\\r"); continue;
      case u'\t': out->append("\\t"); continue;
      case u'\b': out->append("\\b"); continue;
      case u'\f': out->append("\\f"); continue;
      default: break;
    }
    bool high = u >= 0xD800 && u <= 0xDBFF;
    bool low = u >= 0xDC00 && u <= 0xDFFF;
    if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      uint32_t cp = 0x10000 + ((static_cast<uint32_t>(u) - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      AppendUtf8(cp, out);
      ++i;
    } else if (u < 0x20 || u == 0x7F || high || low) {
      // Control characters and unpaired surrogates as escapes: the text
      // stays valid UTF-8 and the unit survives the trip.
      out->append("\\u");
      for (int shift = 12; shift >= 0; shift -= 4) out->push_back(kHex[(u >> shift) & 0xF]);
    } else {
      AppendUtf8(u, out);
    }
  }
}

void WriteJson(const Json& value, std::string* out) { WriteValue(value, out); }

std::string ToJsonText(const Json& value) {
  std::string out;
  WriteValue(value, &out);
  return out;
}

bool Utf8ToUtf16(const std::string& utf8, std::u16string* out) {
  out->clear();
  size_t i = 0;
  while (i < utf8.size()) {
    uint32_t cp;
    if (!DecodeUtf8(utf8, &i, &cp)) return false;
    AppendUtf16(cp, out);
  }
  return true;
}

std::u16string AsciiToUtf16(const char* ascii) {
  std::u16string out;
  for (; *ascii; ++ascii) out.push_back(static_cast<char16_t>(static_cast<uint8_t>(*ascii)));
  return out;
}

std::string Utf16ToUtf8Lossy(const std::u16string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t u = text[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      AppendUtf8(0x10000 + ((static_cast<uint32_t>(u) - 0xD800) << 10) + (text[i + 1] - 0xDC00), &out);
      ++i;
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      AppendUtf8(0xFFFD, &out);
    } else {
      AppendUtf8(u, &out);
    }
  }
  return out;
}

}  // namespace bridge
