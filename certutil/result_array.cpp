#include "certutil/result_array.h"

#include <climits>
#include <cwchar>

#include "framework/ole_exception.h"
#include "certutil/crypt_handles.h"

namespace norelCertInfoUtl {

using framework::COleSafeArray;
using framework::OleException;

void nrlCOleSafeArrayCreate(COleSafeArray& array, ResultCode code) {
  array.CreateOneDim(VT_VARIANT, 1);
  nrlCOleSafeArraySetRes(array, code);
}

void nrlCOleSafeArrayAppend(COleSafeArray& array, VARIANT* value) {
  // Take the value over first, so that it is cleared on every way out.
  ScopedVariant owned;
  *owned.Get() = *value;
  VariantInit(value);
  LONG count = array.GetOneDimSize();
  array.ResizeOneDim(static_cast<ULONG>(count) + 1);
  array.MoveIntoElement(count, owned.Get());
}

void nrlCOleSafeArraySetRes(COleSafeArray& array, ResultCode code) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_I4;
  V_I4(&v) = code;
  array.PutElement(0, &v);
}

void nrlAppendText(COleSafeArray& array, const wchar_t* text, size_t length) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_BSTR;
  V_BSTR(&v) = nullptr;
  if (text && length) {
    if (length > UINT_MAX / sizeof(wchar_t)) throw OleException(E_OUTOFMEMORY);
    V_BSTR(&v) = SysAllocStringLen(text, static_cast<UINT>(length));
    if (!V_BSTR(&v)) throw OleException(E_OUTOFMEMORY);
  }
  nrlCOleSafeArrayAppend(array, &v);
}

void nrlAppendText(COleSafeArray& array, const wchar_t* text) {
  nrlAppendText(array, text, text ? wcslen(text) : 0);
}

}  // namespace norelCertInfoUtl
