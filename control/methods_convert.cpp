// BinaryToString, StringToBinary and LocalTimeToUTCTime: conversions that
// need no engine.
#include <climits>

#include "certutil/cert_format.h"
#include "certutil/crypt_handles.h"
#include "certutil/encoding.h"
#include "certutil/heap.h"
#include "certutil/result_array.h"
#include "certutil/time_text.h"
#include "control/method_frame.h"
#include "control/tessarn_ctrl.h"
#include "framework/ole_exception.h"

using namespace norelCertInfoUtl;

void CTessarnCtrl::BinaryToString(const framework::ByteArg& value, long length, long flag, VARIANT* answer) {
  MethodFrame frame;
  theLog.Info(L"CTessarnCtrl::BinaryToString [] [%d] [%d]", length, flag);
  wchar_t* raw = nullptr;
  ResultCode code;
  // A negative length would read gigabytes, and a byte array is never read
  // beyond its end: both are refused as bytes that cannot be encoded.
  if (length < 0 || (value.bounded && static_cast<unsigned long>(length) > value.size)) {
    theLog.Error(L"CTessarnCtrl::BinaryToString - length [%d] exceeds the bytes given", length);
    code = rc::kEncodeFailed;
  } else {
    code = nrlConvBinaryToString(value.data, static_cast<DWORD>(length), static_cast<DWORD>(flag), &raw);
  }
  MallocPtr<wchar_t> text(raw);
  framework::COleSafeArray result;
  nrlCOleSafeArrayCreate(result, code);
  nrlAppendText(result, text.get());
  theLog.Trace(L"CTessarnCtrl::BinaryToString - result stored (retCode=%d)\r\n", code);
  result.Detach(answer);
}

void CTessarnCtrl::StringToBinary(const wchar_t* value, UINT, long flag, VARIANT* answer) {
  MethodFrame frame;
  theLog.Info(L"CTessarnCtrl::StringToBinary [%s] [%d]", value, flag);
  MallocPtr<BYTE> bytes;
  DWORD count = 0;
  ResultCode code = nrlConvStringToBinary(value, static_cast<DWORD>(flag), OutParam(bytes), &count);
  if (code != rc::kOk) count = 0;
  framework::COleSafeArray result;
  nrlCOleSafeArrayCreate(result, code);
  SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, count);
  if (!array) throw framework::OleException(E_OUTOFMEMORY);
  // The variant owns the array from here on, on every way out.
  ScopedVariant v;
  V_VT(v.Get()) = VT_ARRAY | VT_UI1;
  V_ARRAY(v.Get()) = array;
  if (count) {
    // The data may be written only while the array is accessed (locked).
    SafeArrayAccess access(array);
    if (!access.Data()) throw framework::OleException(E_UNEXPECTED);
    memcpy(access.Data(), bytes.get(), count);
  }
  nrlCOleSafeArrayAppend(result, v.Get());
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
