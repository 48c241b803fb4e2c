#pragma once
// Requests and answers of the bridge protocol, apart from the platform:
//   request  {"id": N|"S", "origin": "https://...", "document": "...", "method": "Name", "args": [...]}
//            ("document", optional: the browser's name for the page's document,
//            so that each loaded document gets a control, and with it the
//            site lock's decisions, of its own)
//   answer   {"id": ..., "result": ...}
//   error    {"id": ..., "error": {"hresult": "0x80020003", "message": "..."}}
#include <cstdint>
#include <string>
#include <vector>

#include "bridge/host/json.h"

namespace bridge {

// Result codes the host itself answers with (the platform's values).
constexpr uint32_t kHresultInvalidData = 0x8007000D;   // malformed request or frame
constexpr uint32_t kHresultOutOfMemory = 0x8007000E;
constexpr uint32_t kHresultUnknownName = 0x80020006;   // DISP_E_UNKNOWNNAME
constexpr uint32_t kHresultTypeMismatch = 0x80020005;  // DISP_E_TYPEMISMATCH
constexpr uint32_t kHresultBadParamCount = 0x8002000E; // DISP_E_BADPARAMCOUNT
constexpr uint32_t kHresultBadVarType = 0x80020008;    // DISP_E_BADVARTYPE
constexpr uint32_t kHresultException = 0x80020009;     // DISP_E_EXCEPTION
constexpr uint32_t kHresultUnexpected = 0x8000FFFF;    // E_UNEXPECTED

// Limits on what a request may carry.
constexpr size_t kMaxIdBytes = 1024;       // the id as JSON text
constexpr size_t kMaxOriginUnits = 2048;
constexpr size_t kMaxDocumentUnits = 256;
constexpr size_t kMaxMethodUnits = 64;
constexpr size_t kMaxArgs = 16;

struct Request {
  std::string idJson = "null";  // the id as it goes back in the answer
  std::u16string origin;
  std::u16string document;  // empty when the request names none
  std::u16string method;
  std::vector<Json> args;
};

struct RequestError {
  uint32_t hresult = kHresultInvalidData;
  std::string message;
};

// Reads one request message. On failure *error says why, and request->idJson
// still holds the id when it could be read (else "null").
bool ParseRequest(const std::string& message, Request* request, RequestError* error);

// One argument as the call will pass it.
struct ArgValue {
  enum class Kind { kNull, kBool, kInt32, kDouble, kText, kBytes };
  Kind kind = Kind::kNull;
  bool boolean = false;
  int32_t int32 = 0;
  double real = 0;
  std::u16string text;
  std::vector<uint8_t> bytes;
};

// A JSON argument as a call argument: numbers that are whole and fit in 32
// bits as integers, other numbers as doubles, texts, {"bytes": "<base64>"}
// as a byte array, true/false and null as themselves. Anything else (arrays,
// other objects, bad base64) is a wrong type: false with the reason.
bool ToArgValue(const Json& value, ArgValue* arg, std::string* why);

// The answer messages (before any splitting).
std::string ResultAnswer(const std::string& idJson, const Json& result);
std::string ErrorAnswer(const std::string& idJson, uint32_t hresult, const std::string& message);

// "0x8002000E": eight upper-case hexadecimal digits.
std::string HresultText(uint32_t hresult);
// An English text for the codes a dispatch call commonly fails with, or ""
// for codes the platform must describe.
std::string DescribeHresult(uint32_t hresult);

// A byte array as it travels: {"bytes": "<base64>"}.
Json BytesValue(const uint8_t* data, size_t size);

}  // namespace bridge
