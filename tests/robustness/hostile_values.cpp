#include "tests/robustness/hostile_values.h"

#include <climits>
#include <cmath>

#include "tests/com/test_support.h"

namespace hostile {

using testing_support::I4;

const wchar_t kDirectives[] = L"%s%n%x%ls%d%p%08X%.*s%hs%S%C%%%n%n%n%s%s%s%I64d%*d";

namespace {

VARIANT Text(const std::wstring& text) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_BSTR;
  V_BSTR(&v) = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return v;
}

VARIANT Of(VARTYPE type) {
  VARIANT v;
  ZeroMemory(&v, sizeof(v));
  V_VT(&v) = type;
  return v;
}

VARIANT Dispatch(IDispatch* object) {
  VARIANT v = Of(VT_DISPATCH);
  object->AddRef();
  V_DISPATCH(&v) = object;
  return v;
}

VARIANT Real(double d) {
  VARIANT v = Of(VT_R8);
  V_R8(&v) = d;
  return v;
}

VARIANT TextArray() {
  VARIANT v = Of(VT_ARRAY | VT_BSTR);
  SAFEARRAY* a = SafeArrayCreateVector(VT_BSTR, 0, 2);
  for (LONG i = 0; i < 2; ++i) {
    BSTR s = SysAllocString(L"MY");
    SafeArrayPutElement(a, &i, s);
    SysFreeString(s);
  }
  V_ARRAY(&v) = a;
  return v;
}

VARIANT ByteArray(size_t count, unsigned dims = 1) {
  VARIANT v = Of(VT_ARRAY | VT_UI1);
  SAFEARRAYBOUND bounds[2] = {{static_cast<ULONG>(count), 0}, {2, 0}};
  SAFEARRAY* a = SafeArrayCreate(VT_UI1, dims, bounds);
  if (a && SUCCEEDED(SafeArrayLock(a))) {
    BYTE* p = static_cast<BYTE*>(a->pvData);
    for (size_t i = 0; i < count * dims; ++i) p[i] = static_cast<BYTE>(i * 37);
    SafeArrayUnlock(a);
  }
  V_ARRAY(&v) = a;
  return v;
}

// By-reference values point into storage that outlives every call.
VARIANT RefToText() {
  static BSTR text = SysAllocString(kDirectives);
  VARIANT v = Of(VT_BYREF | VT_BSTR);
  V_BSTRREF(&v) = &text;
  return v;
}

VARIANT RefToVariant(VARIANT* target) {
  VARIANT v = Of(VT_BYREF | VT_VARIANT);
  V_VARIANTREF(&v) = target;
  return v;
}

VARIANT RefToNumber() {
  static LONG n = INT_MIN;
  VARIANT v = Of(VT_BYREF | VT_I4);
  V_I4REF(&v) = &n;
  return v;
}

}  // namespace

std::vector<Value> TextValues(IDispatch* self) {
  static VARIANT textInVariant = Text(L"MY");
  return {
      {"null BSTR", [] { return Of(VT_BSTR); }},
      {"empty text", [] { return Text(L""); }},
      {"1 MB text", [] { return Text(std::wstring(1 << 20, L'A')); }},
      {"16 MB text", [] { return Text(std::wstring(16 << 20, L'0')); }, true},
      {"16 MB of printf directives", [] {
         std::wstring t;
         while (t.size() < (16u << 20)) t += kDirectives;
         return Text(t);
       }, true},
      {"embedded NULs", [] { return Text(std::wstring(L"MY\0junk\0%s", 10)); }},
      {"Czech text", [] { return Text(L"P\u0159\u00edli\u0161 \u017elu\u0165ou\u010dk\u00fd k\u016f\u0148 \u00fap\u011bl \u010f\u00e1belsk\u00e9 \u00f3dy"); }},
      {"unpaired surrogates", [] { return Text(std::wstring(L"\xD800" L"a" L"\xDC00" L"\xDBFF", 4)); }},
      {"control characters", [] { return Text(L"\x01\x02\x1b[31m\r\n\t\x7f\x08\x0c"); }},
      {"printf directives", [] { return Text(kDirectives); }},
      {"hexadecimal with blanks", [] { return Text(L" 0A 1b\r\n 2c "); }},
      {"VT_EMPTY", [] { return Of(VT_EMPTY); }},
      {"VT_NULL", [] { return Of(VT_NULL); }},
      {"the control itself", [self] { return Dispatch(self); }},
      {"array of texts", [] { return TextArray(); }},
      {"number", [] { return I4(42); }},
      {"NaN", [] { return Real(std::nan("")); }},
      {"BSTR by reference", [] { return RefToText(); }},
      {"VARIANT by reference", [] { return RefToVariant(&textInVariant); }},
  };
}

std::vector<Value> NumberValues(IDispatch* self) {
  static VARIANT numberInVariant = I4(-1);
  return {
      {"zero", [] { return I4(0); }},
      {"minus one", [] { return I4(-1); }},
      {"INT_MIN", [] { return I4(INT_MIN); }},
      {"INT_MAX", [] { return I4(INT_MAX); }},
      {"every bit", [] { return I4(static_cast<long>(0xFFFFFF7F)); }},
      {"numeric text", [] { return Text(L"387"); }},
      {"non-numeric text", [] { return Text(L"%s%n"); }},
      {"null BSTR", [] { return Of(VT_BSTR); }},
      {"1e300", [] { return Real(1e300); }},
      {"NaN", [] { return Real(std::nan("")); }},
      {"VT_EMPTY", [] { return Of(VT_EMPTY); }},
      {"VT_NULL", [] { return Of(VT_NULL); }},
      {"the control itself", [self] { return Dispatch(self); }},
      {"array of texts", [] { return TextArray(); }},
      {"long by reference", [] { return RefToNumber(); }},
      {"VARIANT by reference", [] { return RefToVariant(&numberInVariant); }},
  };
}

std::vector<Value> ByteValues(IDispatch* self) {
  static BYTE bytes[16] = {0x5a};
  static VARIANT arrayInVariant = ByteArray(16);
  return {
      {"empty byte array", [] { return ByteArray(0); }},
      {"null byte array", [] { return Of(VT_ARRAY | VT_UI1); }},
      {"1 MB byte array", [] { return ByteArray(1 << 20); }},
      {"two-dimensional array", [] { return ByteArray(8, 2); }},
      {"byte by reference", [] {
         VARIANT v = Of(VT_BYREF | VT_UI1);
         V_UI1REF(&v) = bytes;
         return v;
       }},
      {"null byte reference", [] { return Of(VT_BYREF | VT_UI1); }},
      {"text", [] { return Text(L"abc"); }},
      {"VT_EMPTY", [] { return Of(VT_EMPTY); }},
      {"VT_NULL", [] { return Of(VT_NULL); }},
      {"the control itself", [self] { return Dispatch(self); }},
      {"array of texts", [] { return TextArray(); }},
      {"array by reference in a VARIANT", [] { return RefToVariant(&arrayInVariant); }},
  };
}

}  // namespace hostile
