// BinaryToString, StringToBinary and LocalTimeToUTCTime: conversions that
// need no engine.
#include <climits>

#include "certutil/cert_format.h"
#include "certutil/conversion_limits.h"
#include "certutil/crypt_handles.h"
#include "certutil/encoding.h"
#include "certutil/result_array.h"
#include "certutil/time_text.h"
#include "control/method_frame.h"
#include "control/tessarn_ctrl.h"
#include "framework/ole_exception.h"

using namespace norelCertInfoUtl;

// The converters write the platform's output straight into the value the
// answer carries: a megabyte is made once and never copied.
void CTessarnCtrl::BinaryToString(const framework::ByteArg& value, long length, long flag, VARIANT* answer) {
  MethodFrame frame;
  theLog.Info(L"CTessarnCtrl::BinaryToString [] [%d] [%d]", length, flag);
  ScopedBstr text;
  ResultCode code;
  // A negative length would read gigabytes, and a byte array is never read
  // beyond its end: both are refused as bytes that cannot be encoded.
  if (length < 0 || (value.bounded && static_cast<unsigned long>(length) > value.size)) {
    theLog.Error(L"CTessarnCtrl::BinaryToString - length [%d] exceeds the bytes given", length);
    code = rc::kEncodeFailed;
  } else if (static_cast<unsigned long>(length) > kMaxEncodeBytes) {
    // Refused before the bytes are read: the most one call encodes.
    theLog.Error(L"CTessarnCtrl::BinaryToString - length [%d] beyond the limit of [%lu] bytes", length,
                 static_cast<unsigned long>(kMaxEncodeBytes));
    code = rc::kInputTooLarge;
  } else {
    code = nrlConvBinaryToBstr(value.data, static_cast<DWORD>(length), static_cast<DWORD>(flag), text.Receive());
  }
  framework::COleSafeArray result;
  nrlCOleSafeArrayCreate(result, code);
  // A failed conversion hands out no text: the element is an empty text (a
  // null BSTR), as the converter's empty text is.
  VARIANT element;
  VariantInit(&element);
  V_VT(&element) = VT_BSTR;
  V_BSTR(&element) = text.Detach();
  nrlCOleSafeArrayAppend(result, &element);
  theLog.Trace(L"CTessarnCtrl::BinaryToString - result stored (retCode=%d)\r\n", code);
  result.Detach(answer);
}

void CTessarnCtrl::StringToBinary(const wchar_t* value, UINT, long flag, VARIANT* answer) {
  MethodFrame frame;
  theLog.Info(L"CTessarnCtrl::StringToBinary [%s] [%d]", value, flag);
  ScopedSafeArray bytes;
  ResultCode code = nrlConvStringToByteArray(value, static_cast<DWORD>(flag), bytes.Receive());
  framework::COleSafeArray result;
  nrlCOleSafeArrayCreate(result, code);
  // A failed conversion hands out no array: the answer holds an empty one.
  if (!bytes) bytes.Reset(SafeArrayCreateVector(VT_UI1, 0, 0));
  if (!bytes) throw framework::OleException(E_OUTOFMEMORY);
  VARIANT element;
  VariantInit(&element);
  V_VT(&element) = VT_ARRAY | VT_UI1;
  V_ARRAY(&element) = bytes.Detach();
  nrlCOleSafeArrayAppend(result, &element);
  theLog.Trace(L"CTessarnCtrl::StringToBinary - result stored (retCode=%d)\r\n", code);
  result.Detach(answer);
}

void CTessarnCtrl::LocalTimeToUTCTime(const wchar_t* localTime, VARIANT* answer) {
  MethodFrame frame;
  theLog.Info(L"CTessarnCtrl::LocalTimeToUTCTime [%s]", localTime);
  // Text that does not give all six fields, or fields the platform refuses
  // (month 13, hour 24), answers an empty text: the value never depends on
  // fields the caller did not set. The code stays 0, as for every input.
  std::wstring utcText;
  SYSTEMTIME local = {};
  // The zone's bias is the one in effect at the given date, daylight saving
  // included; LocalFileTimeToFileTime would apply today's instead, an hour
  // off for every date on the other side of a change.
  if (ParseTimeText(localTime, &local) == 6) {
    FILETIME localFile = {};
    SYSTEMTIME utc = {};
    if (SystemTimeToFileTime(&local, &localFile) && TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc))
      utcText = FormatTimeText(utc);
  }
  framework::COleSafeArray result;
  nrlCOleSafeArrayCreate(result, rc::kOk);
  nrlAppendText(result, utcText.c_str());
  theLog.Trace(L"CTessarnCtrl::LocalTimeToUTCTime - result stored (retCode=%d)\r\n", rc::kOk);
  result.Detach(answer);
}
