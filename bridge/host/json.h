#pragma once
// A small JSON value with a strict parser and a writer, for the messages the
// browser and the host exchange. Texts are held as UTF-16 code units, the
// form the control's BSTRs take, so a lone surrogate a page sends (as a
// \uD800 escape) reaches the control unchanged and comes back the same way.
// No platform headers: the code is unit-tested and fuzzed on the build
// machine.
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace bridge {

struct Json {
  enum class Type { kNull, kBool, kNumber, kString, kArray, kObject };

  Type type = Type::kNull;
  bool boolean = false;
  double number = 0;
  // A number as the sender wrote it (empty for numbers made here), so an
  // answer echoes a request's id exactly.
  std::string numberText;
  std::u16string text;
  std::vector<Json> items;
  std::vector<std::pair<std::u16string, Json>> members;

  static Json Null() { return Json(); }
  static Json Bool(bool value);
  static Json Number(double value);
  static Json String(std::u16string value);
  static Json Array(std::vector<Json> values = {});
  static Json Object();

  // The first member with this name, or null.
  const Json* Find(const std::u16string& name) const;
  // How many members have this name.
  size_t Count(const std::u16string& name) const;
};

// Deepest nesting of arrays and objects a message may have.
constexpr int kMaxJsonDepth = 64;

// Parses one JSON text (RFC 8259: strict UTF-8, no byte-order mark, nothing
// after the value but white space). On failure says why in *error.
bool ParseJson(const std::string& utf8, Json* out, std::string* error);

// Appends the value's JSON text: UTF-8, control characters and unpaired
// surrogates escaped, non-finite numbers written as null.
void WriteJson(const Json& value, std::string* out);
std::string ToJsonText(const Json& value);

// A UTF-16 text as JSON string content (without the quotes), and UTF-8 text
// as UTF-16 (false for anything that is not well-formed UTF-8).
void AppendJsonStringContent(const std::u16string& text, std::string* out);
bool Utf8ToUtf16(const std::string& utf8, std::u16string* out);
std::u16string AsciiToUtf16(const char* ascii);
std::string Utf16ToUtf8Lossy(const std::u16string& text);

}  // namespace bridge
