#include "bridge/host/protocol.h"

#include <cmath>
#include <cstdio>

#include "bridge/host/base64.h"

namespace bridge {

namespace {

const std::u16string kId = u"id";
const std::u16string kOrigin = u"origin";
const std::u16string kDocument = u"document";
const std::u16string kMethod = u"method";
const std::u16string kArgs = u"args";
const std::u16string kBytes = u"bytes";

bool Refuse(RequestError* error, const std::string& message) {
  error->hresult = kHresultInvalidData;
  error->message = message;
  return false;
}

}  // namespace

bool ParseRequest(const std::string& message, Request* request, RequestError* error) {
  *request = Request();
  Json root;
  std::string why;
  if (!ParseJson(message, &root, &why)) return Refuse(error, "The request is not valid JSON: " + why + ".");
  if (root.type != Json::Type::kObject) return Refuse(error, "The request is not a JSON object.");

  // The id first, so that every later complaint can name it.
  const Json* id = root.Find(kId);
  if (id && root.Count(kId) == 1 && (id->type == Json::Type::kNumber || id->type == Json::Type::kString)) {
    std::string text = ToJsonText(*id);
    if (text.size() <= kMaxIdBytes) request->idJson = text;
    else return Refuse(error, "The request's \"id\" is longer than 1024 bytes.");
  } else {
    return Refuse(error, "The request has no \"id\" number or text.");
  }
  for (const auto* name : {&kOrigin, &kDocument, &kMethod, &kArgs}) {
    if (root.Count(*name) > 1) return Refuse(error, "The request names a member twice.");
  }

  const Json* origin = root.Find(kOrigin);
  if (!origin || origin->type != Json::Type::kString || origin->text.empty())
    return Refuse(error, "The request has no \"origin\" text.");
  if (origin->text.size() > kMaxOriginUnits) return Refuse(error, "The request's \"origin\" is too long.");
  for (char16_t c : origin->text) {
    if (c <= 0x20 || c == 0x7F) return Refuse(error, "The request's \"origin\" holds a blank or control character.");
  }
  request->origin = origin->text;

  if (const Json* document = root.Find(kDocument)) {
    if (document->type != Json::Type::kString) return Refuse(error, "The request's \"document\" is not a text.");
    if (document->text.size() > kMaxDocumentUnits) return Refuse(error, "The request's \"document\" is too long.");
    for (char16_t c : document->text) {
      if (c < 0x20 || c == 0x7F) return Refuse(error, "The request's \"document\" holds a control character.");
    }
    request->document = document->text;
  }

  const Json* method = root.Find(kMethod);
  if (!method || method->type != Json::Type::kString || method->text.empty())
    return Refuse(error, "The request has no \"method\" text.");
  request->method = method->text;

  for (auto& member : root.members) {
    if (member.first != kArgs) continue;
    if (member.second.type != Json::Type::kArray) return Refuse(error, "The request's \"args\" is not an array.");
    request->args = std::move(member.second.items);  // a request's megabytes are not copied
  }
  return true;
}

bool ToArgValue(const Json& value, ArgValue* arg, std::string* why) {
  *arg = ArgValue();
  switch (value.type) {
    case Json::Type::kNull:
      arg->kind = ArgValue::Kind::kNull;
      return true;
    case Json::Type::kBool:
      arg->kind = ArgValue::Kind::kBool;
      arg->boolean = value.boolean;
      return true;
    case Json::Type::kNumber: {
      double d = value.number;
      if (std::isfinite(d) && d == std::floor(d) && d >= -2147483648.0 && d <= 2147483647.0) {
        arg->kind = ArgValue::Kind::kInt32;
        arg->int32 = static_cast<int32_t>(d);
      } else if (std::isfinite(d)) {
        arg->kind = ArgValue::Kind::kDouble;
        arg->real = d;
      } else {
        *why = "a number out of range";
        return false;
      }
      return true;
    }
    case Json::Type::kString:
      arg->kind = ArgValue::Kind::kText;
      arg->text = value.text;
      return true;
    case Json::Type::kObject: {
      const Json* bytes = value.Find(kBytes);
      if (value.members.size() != 1 || !bytes || bytes->type != Json::Type::kString) {
        *why = "an object other than {\"bytes\": \"<base64>\"}";
        return false;
      }
      if (!DecodeBase64(bytes->text, &arg->bytes)) {
        *why = "\"bytes\" that are not base64";
        return false;
      }
      arg->kind = ArgValue::Kind::kBytes;
      return true;
    }
    case Json::Type::kArray:
      *why = "an array";
      return false;
  }
  *why = "an unknown value";
  return false;
}

std::string ResultAnswer(const std::string& idJson, const Json& result) {
  std::string out = "{\"id\":" + idJson + ",\"result\":";
  WriteJson(result, &out);
  out.push_back('}');
  return out;
}

std::string ErrorAnswer(const std::string& idJson, uint32_t hresult, const std::string& message) {
  std::u16string text;
  if (!Utf8ToUtf16(message, &text)) text = u"(unreadable message)";
  std::string out = "{\"id\":" + idJson + ",\"error\":{\"hresult\":\"" + HresultText(hresult) + "\",\"message\":\"";
  AppendJsonStringContent(text, &out);
  out.append("\"}}");
  return out;
}

std::string HresultText(uint32_t hresult) {
  char buf[16];
  snprintf(buf, sizeof(buf), "0x%08X", static_cast<unsigned>(hresult));
  return buf;
}

std::string DescribeHresult(uint32_t hresult) {
  switch (hresult) {
    case 0x80020003: return "Member not found.";
    case 0x80020004: return "Parameter not found.";
    case 0x80020005: return "Type mismatch.";
    case 0x80020006: return "Unknown name.";
    case 0x80020007: return "No named arguments.";
    case 0x80020008: return "Bad variable type.";
    case 0x80020009: return "Exception occurred.";
    case 0x8002000A: return "Out of present range.";
    case 0x8002000E: return "Invalid number of parameters.";
    case 0x8002000F: return "Parameter not optional.";
    case 0x8007000D: return "The data is invalid.";
    case 0x8007000E: return "Not enough memory resources are available to complete this operation.";
    case 0x80070057: return "The parameter is incorrect.";
    case 0x80004001: return "Not implemented.";
    case 0x80004005: return "Unspecified error.";
    case 0x80040154: return "Class not registered.";
    case 0x8000FFFF: return "Catastrophic failure.";
    default: return "";
  }
}

Json BytesValue(const uint8_t* data, size_t size) {
  Json j = Json::Object();
  std::string b64 = EncodeBase64(data, size);
  j.members.emplace_back(kBytes, Json::String(std::u16string(b64.begin(), b64.end())));
  return j;
}

}  // namespace bridge
