// The bridge host's reading of a request message: JSON parsing, the
// request's checks, argument conversion and the answers built from them.
#include <string>

#include "bridge/host/base64.h"
#include "bridge/host/json.h"
#include "bridge/host/protocol.h"
#include "fuzz/wide_input.h"

using namespace bridge;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);

  // Whatever parses writes out as JSON that parses to the same text again.
  Json value;
  std::string error;
  if (ParseJson(text, &value, &error)) {
    std::string once = ToJsonText(value);
    Json again;
    FUZZ_REQUIRE(ParseJson(once, &again, &error));
    FUZZ_REQUIRE(ToJsonText(again) == once);
    std::u16string wide;
    FUZZ_REQUIRE(Utf8ToUtf16(once, &wide));
  } else {
    FUZZ_REQUIRE(!error.empty());
  }

  // A request is read or refused; either way the answer is valid JSON with
  // the id it names.
  Request request;
  RequestError refused;
  std::string answer;
  if (ParseRequest(text, &request, &refused)) {
    FUZZ_REQUIRE(!request.origin.empty() && !request.method.empty());
    Json results = Json::Array();
    for (const Json& arg : request.args) {
      ArgValue converted;
      std::string why;
      if (ToArgValue(arg, &converted, &why)) {
        if (converted.kind == ArgValue::Kind::kBytes) {
          std::string b64 = EncodeBase64(converted.bytes.data(), converted.bytes.size());
          FUZZ_REQUIRE(std::u16string(b64.begin(), b64.end()) == arg.members[0].second.text);
          results.items.push_back(BytesValue(converted.bytes.data(), converted.bytes.size()));
        } else {
          results.items.push_back(arg);
        }
      } else {
        FUZZ_REQUIRE(!why.empty());
      }
    }
    answer = ResultAnswer(request.idJson, results);
  } else {
    FUZZ_REQUIRE(!refused.message.empty());
    answer = ErrorAnswer(request.idJson, refused.hresult, refused.message);
  }
  Json parsed;
  FUZZ_REQUIRE(ParseJson(answer, &parsed, &error));
  FUZZ_REQUIRE(parsed.type == Json::Type::kObject && parsed.Find(u"id"));
  FUZZ_REQUIRE(ToJsonText(*parsed.Find(u"id")) == request.idJson);

  // Base64 of any text: what decodes encodes back to the same text.
  std::u16string letters(text.begin(), text.end());
  std::vector<uint8_t> bytes;
  if (DecodeBase64(letters, &bytes)) {
    std::string back = EncodeBase64(bytes.data(), bytes.size());
    FUZZ_REQUIRE(back == text);
  }
  return 0;
}
