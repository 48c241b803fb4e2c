#include "certutil/crypt_common.h"

#include <cstring>
#include <cwchar>
#include <cwctype>

#include "certutil/crypt_handles.h"
#include "certutil/heap.h"
#include "certutil/hex_text.h"
#include "diag/log.h"

using namespace norelCertInfoUtl;

namespace {
MallocPtr<wchar_t> Duplicate(const wchar_t* text) { return MallocPtr<wchar_t>(_wcsdup(text)); }
}  // namespace

ResultCode CCryptCommon::Binary2String(const BYTE* bytes, DWORD length, wchar_t** text) {
  *text = nullptr;
  theLog.Trace(L"CCryptCommon::Binary2String start");
  auto out = AllocZeroed<wchar_t>(static_cast<size_t>(length) * 2 + 1);
  if (!out) {
    theLog.Error(L"Can't allocate string buffer memory");
    return rc::kNoMemory;
  }
  EncodeHex(bytes, length, out.get());
  out.get()[static_cast<size_t>(length) * 2] = L'\0';
  *text = out.release();
  theLog.Trace(L"CCryptCommon::Binary2String finished, string [%s]", *text);
  return rc::kOk;
}

ResultCode CCryptCommon::String2Binary(const wchar_t* text, BYTE** bytes, DWORD* length) {
  theLog.Trace(L"CCryptCommon::String2Binary start");
  *bytes = nullptr;
  *length = 0;
  MallocPtr<wchar_t> trimmed;
  ResultCode code = Trim(text, OutParam(trimmed));
  if (code != rc::kOk) return code;
  size_t n = wcslen(trimmed.get());
  if (n % 2 != 0) {
    theLog.Error(L"Improper length of input string");
    return rc::kOddHexLength;
  }
  if (n / 2 > 0xFFFFFFFFu) return rc::kNoMemory;
  auto out = AllocZeroed<BYTE>(n / 2);
  if (!out) {
    theLog.Error(L"Can't allocate memory for binary");
    return rc::kNoMemory;
  }
  DecodeHexPairs(trimmed.get(), n / 2, out.get());
  *bytes = out.release();
  *length = static_cast<DWORD>(n / 2);
  theLog.Trace(L"CCryptCommon::String2Binary finished");
  return rc::kOk;
}

void CCryptCommon::BinaryMirror(BYTE* bytes, DWORD length) {
  for (DWORD i = 0; i < length / 2; ++i) {
    BYTE b = bytes[i];
    bytes[i] = bytes[length - 1 - i];
    bytes[length - 1 - i] = b;
  }
}

ResultCode CCryptCommon::Trim(const wchar_t* text, wchar_t** out) {
  *out = nullptr;
  theLog.Trace(L"CCryptCommon:Trim start");
  theLog.Trace(L"CCryptCommon:Trim malloc");
  // A null text trims to the empty text.
  if (!text) text = L"";
  size_t length = wcslen(text);
  auto work = AllocZeroed<wchar_t>(length + 1);
  if (!work) {
    theLog.Error(L"Can't allocate memory");
    return rc::kNoMemory;
  }
  theLog.Trace(L"CCryptCommon:Trim copy");
  work.get()[CopyWithoutBlanks(text, length, work.get())] = L'\0';
  theLog.Trace(L"CCryptCommon:Trim store [%s]", work.get());
  MallocPtr<wchar_t> result = Duplicate(work.get());
  if (!result) {
    theLog.Error(L"Can't allocate memory");
    return rc::kNoMemory;
  }
  *out = result.release();
  theLog.Trace(L"CCryptCommon:Trim finished, trimmed to [%s]", *out);
  return rc::kOk;
}

ResultCode CCryptCommon::TrimSerial(const wchar_t* text, wchar_t** out) {
  *out = nullptr;
  theLog.Trace(L"CCryptCommon:TrimSerial start");
  if (!text) text = L"";
  text = SkipSerialPadding(text);
  theLog.Trace(L"CCryptCommon:TrimSerial store [%s]", text);
  MallocPtr<wchar_t> result = Duplicate(text);
  if (!result) {
    theLog.Error(L"Can't allocate memory");
    return rc::kNoMemory;
  }
  *out = result.release();
  theLog.Trace(L"CCryptCommon:TrimSerial finished, trimmed to [%s]", *out);
  return rc::kOk;
}

wchar_t* CCryptCommon::UpperCase(wchar_t* text) {
  if (!text || !*text) return nullptr;
  for (wchar_t* p = text; *p; ++p) *p = static_cast<wchar_t>(towupper(*p));
  return text;
}

ResultCode CCryptCommon::CheckSerial(PCCERT_CONTEXT cert, const wchar_t* serial) const {
  theLog.Trace(L"CCryptCommon:CheckSerial start");
  wchar_t* raw = nullptr;
  theLog.Trace(L"CCryptCommon:CheckSerial Trim");
  ResultCode code = Trim(serial, &raw);
  if (code != rc::kOk) {
    theLog.Error(L"Can't trim serial number");
    return code;
  }
  MallocPtr<wchar_t> t1(raw);
  theLog.Trace(L"CCryptCommon:CheckSerial TrimSerial");
  code = TrimSerial(t1.get(), &raw);
  if (code != rc::kOk) {
    theLog.Error(L"Can't short serial number");
    return code;
  }
  MallocPtr<wchar_t> s1(raw);
  theLog.Trace(L"CCryptCommon:CheckSerial malloc");
  const CRYPT_INTEGER_BLOB& blob = cert->pCertInfo->SerialNumber;
  auto copy = AllocZeroed<BYTE>(blob.cbData);
  if (!copy) {
    theLog.Error(L"Can't allocate memory for serial binary");
    return rc::kNoMemory;
  }
  theLog.Trace(L"CCryptCommon:CheckSerial memcpy");
  if (blob.cbData) memcpy(copy.get(), blob.pbData, blob.cbData);
  theLog.Trace(L"CCryptCommon:CheckSerial BinaryMirror");
  BinaryMirror(copy.get(), blob.cbData);
  theLog.Trace(L"CCryptCommon:CheckSerial Binary2String");
  code = Binary2String(copy.get(), blob.cbData, &raw);
  if (code != rc::kOk) {
    theLog.Error(L"Can't convert serial number to string");
    return code;
  }
  MallocPtr<wchar_t> h(raw);
  theLog.Trace(L"CCryptCommon:CheckSerial Trim");
  code = Trim(h.get(), &raw);
  if (code != rc::kOk) {
    theLog.Error(L"Can't trim serial number");
    return code;
  }
  MallocPtr<wchar_t> t2(raw);
  theLog.Trace(L"CCryptCommon:CheckSerial TrimSerial");
  code = TrimSerial(t2.get(), &raw);
  if (code != rc::kOk) {
    theLog.Error(L"Can't short serial number");
    return code;
  }
  MallocPtr<wchar_t> s2(raw);
  theLog.Trace(L"CCryptCommon:CheckSerial comparing");
  ResultCode result = EqualFoldingAscii(s1.get(), s2.get()) ? rc::kOk : rc::kCertNotFound;
  theLog.Trace(L"CCryptCommon:CheckSerial finished");
  return result;
}
