#include "bridge/host/variant_json.h"

#include <cstring>
#include <string>

#include "certutil/crypt_handles.h"

namespace bridge {

namespace {

constexpr int kMaxAnswerDepth = 16;

bool IsNumber(VARTYPE vt) {
  switch (vt) {
    case VT_I1: case VT_I2: case VT_I4: case VT_I8: case VT_INT:
    case VT_UI1: case VT_UI2: case VT_UI4: case VT_UI8: case VT_UINT:
    case VT_R4: case VT_R8: case VT_CY: case VT_DECIMAL:
      return true;
    default:
      return false;
  }
}

// Element types whose values sit where a VARIANT keeps its own value.
bool IsScalarElement(VARTYPE vt) {
  return vt == VT_BSTR || vt == VT_BOOL || (IsNumber(vt) && vt != VT_DECIMAL);
}

HRESULT Convert(const VARIANT& in, Json* out, int depth);

HRESULT ArrayToJson(SAFEARRAY* array, VARTYPE vt, Json* out, int depth) {
  if (!array) {
    *out = Json::Null();
    return S_OK;
  }
  if (SafeArrayGetDim(array) != 1) return DISP_E_BADVARTYPE;
  LONG lower = 0, upper = -1;
  HRESULT hr = SafeArrayGetLBound(array, 1, &lower);
  if (SUCCEEDED(hr)) hr = SafeArrayGetUBound(array, 1, &upper);
  if (FAILED(hr)) return hr;
  size_t count = upper >= lower ? static_cast<size_t>(static_cast<LONGLONG>(upper) - lower + 1) : 0;
  SafeArrayAccess data(array);
  if (FAILED(hr = data.Result())) return hr;
  if (vt == VT_UI1 || vt == VT_I1) {
    *out = BytesValue(static_cast<const uint8_t*>(data.Data()), count);
    return S_OK;
  }
  if (vt != VT_VARIANT && !IsScalarElement(vt)) return DISP_E_BADVARTYPE;
  *out = Json::Array();
  out->items.resize(count);
  const BYTE* base = static_cast<const BYTE*>(data.Data());
  UINT size = SafeArrayGetElemsize(array);
  for (size_t i = 0; i < count; ++i) {
    const void* element = base + i * size;
    if (vt == VT_VARIANT) {
      hr = Convert(*static_cast<const VARIANT*>(element), &out->items[i], depth + 1);
    } else {
      VARIANT v;
      VariantInit(&v);
      V_VT(&v) = vt;
      // The element's bytes where the VARIANT holds a value of its type; a
      // BSTR is borrowed, not copied, and the VARIANT is not cleared.
      memcpy(&V_I8(&v), element, size < sizeof(V_I8(&v)) ? size : sizeof(V_I8(&v)));
      hr = Convert(v, &out->items[i], depth + 1);
    }
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

HRESULT Convert(const VARIANT& in, Json* out, int depth) {
  if (depth > kMaxAnswerDepth) return DISP_E_BADVARTYPE;
  VARTYPE vt = V_VT(&in);
  if (vt & VT_BYREF) {
    ScopedVariant plain;
    HRESULT hr = VariantCopyInd(plain.Get(), const_cast<VARIANT*>(&in));
    if (FAILED(hr)) return hr;
    return Convert(*plain.Get(), out, depth + 1);
  }
  if (vt & VT_ARRAY) return ArrayToJson(V_ARRAY(&in), vt & VT_TYPEMASK, out, depth);
  switch (vt) {
    case VT_EMPTY:
    case VT_NULL:
      *out = Json::Null();
      return S_OK;
    case VT_BOOL:
      *out = Json::Bool(V_BOOL(&in) != VARIANT_FALSE);
      return S_OK;
    case VT_BSTR: {
      BSTR b = V_BSTR(&in);
      *out = Json::String(b ? std::u16string(reinterpret_cast<const char16_t*>(b), SysStringLen(b)) : u"");
      return S_OK;
    }
    case VT_I4:
      *out = Json::Number(V_I4(&in));
      return S_OK;
    default:
      break;
  }
  if (!IsNumber(vt)) return DISP_E_BADVARTYPE;
  ScopedVariant real;
  HRESULT hr = VariantChangeType(real.Get(), const_cast<VARIANT*>(&in), 0, VT_R8);
  if (FAILED(hr)) return hr;
  *out = Json::Number(V_R8(real.Get()));
  return S_OK;
}

}  // namespace

HRESULT ArgToVariant(const ArgValue& arg, VARIANT* out) {
  switch (arg.kind) {
    case ArgValue::Kind::kNull:
      V_VT(out) = VT_NULL;
      return S_OK;
    case ArgValue::Kind::kBool:
      V_VT(out) = VT_BOOL;
      V_BOOL(out) = arg.boolean ? VARIANT_TRUE : VARIANT_FALSE;
      return S_OK;
    case ArgValue::Kind::kInt32:
      V_VT(out) = VT_I4;
      V_I4(out) = arg.int32;
      return S_OK;
    case ArgValue::Kind::kDouble:
      V_VT(out) = VT_R8;
      V_R8(out) = arg.real;
      return S_OK;
    case ArgValue::Kind::kText: {
      if (arg.text.size() > 0x7FFFFFF0u / sizeof(wchar_t)) return E_OUTOFMEMORY;
      BSTR b = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(arg.text.data()), static_cast<UINT>(arg.text.size()));
      if (!b) return E_OUTOFMEMORY;
      V_VT(out) = VT_BSTR;
      V_BSTR(out) = b;
      return S_OK;
    }
    case ArgValue::Kind::kBytes: {
      if (arg.bytes.size() > 0x7FFFFFFFu) return E_OUTOFMEMORY;
      ScopedSafeArray array(SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(arg.bytes.size())));
      if (!array) return E_OUTOFMEMORY;
      if (!arg.bytes.empty()) {
        SafeArrayAccess data(array.Get());
        if (!data.Data()) return E_OUTOFMEMORY;
        memcpy(data.Data(), arg.bytes.data(), arg.bytes.size());
      }
      V_VT(out) = VT_ARRAY | VT_UI1;
      V_ARRAY(out) = array.Detach();
      return S_OK;
    }
  }
  return DISP_E_BADVARTYPE;
}

HRESULT VariantToJson(const VARIANT& value, Json* out) { return Convert(value, out, 0); }

}  // namespace bridge
