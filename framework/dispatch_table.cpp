#include "framework/dispatch_table.h"

#include <cwchar>
#include <new>

#include "framework/exception_boundary.h"
#include "framework/ole_exception.h"

namespace framework {

const DispatchEntry* DispatchTable::Find(DISPID dispid) const {
  for (size_t i = 0; i < count; ++i) {
    if (entries[i].dispid == dispid) return &entries[i];
  }
  return nullptr;
}

const DispatchEntry* DispatchTable::FindByName(const wchar_t* name) const {
  if (!name) return nullptr;
  for (size_t i = 0; i < count; ++i) {
    if (_wcsicmp(entries[i].name, name) == 0) return &entries[i];
  }
  return nullptr;
}

namespace {

const VARIANT* Deref(const VARIANT* v) {
  while (V_VT(v) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(v)) v = V_VARIANTREF(v);
  return v;
}

// A byte argument: a by-reference byte (Visual Basic or C++ passing the
// first byte of its buffer), or a byte array (the only block of bytes a
// script can hold), possibly by reference.
HRESULT ConvertBytes(const VARIANT* in, ByteArg* out, ScopedSafeArrayLock* locked) {
  const VARIANT* v = Deref(in);
  VARTYPE vt = V_VT(v);
  if (vt == (VT_BYREF | VT_UI1)) {
    out->data = V_UI1REF(v);
    out->bounded = false;
    return out->data ? S_OK : DISP_E_TYPEMISMATCH;
  }
  if (vt == VT_UI1) {
    // A byte held in a variant (a script variable passed by reference): the
    // one byte there is.
    out->data = &V_UI1(v);
    out->size = 1;
    out->bounded = true;
    return S_OK;
  }
  SAFEARRAY* array = nullptr;
  if (vt == (VT_ARRAY | VT_UI1)) array = V_ARRAY(v);
  else if (vt == (VT_BYREF | VT_ARRAY | VT_UI1) && V_ARRAYREF(v)) array = *V_ARRAYREF(v);
  else return DISP_E_TYPEMISMATCH;
  out->bounded = true;
  if (!array) {
    out->data = nullptr;
    out->size = 0;
    return S_OK;
  }
  if (SafeArrayGetDim(array) != 1) return DISP_E_TYPEMISMATCH;
  LONG lower = 0, upper = -1;
  if (FAILED(SafeArrayGetLBound(array, 1, &lower)) || FAILED(SafeArrayGetUBound(array, 1, &upper)))
    return DISP_E_TYPEMISMATCH;
  if (FAILED(SafeArrayLock(array))) return DISP_E_TYPEMISMATCH;
  locked->Reset(array);
  out->data = static_cast<const BYTE*>(array->pvData);
  out->size = upper >= lower ? static_cast<size_t>(static_cast<LONGLONG>(upper) - lower + 1) : 0;
  return S_OK;
}

// Whether converting the argument can run none of the caller's code: a
// plain value, or a byte array, by value or by reference. Converting an
// object calls its default property or QueryInterface; records and arrays
// of other kinds may hold objects.
bool RunsNoCallerCode(const VARIANT* in) {
  const VARIANT* v = Deref(in);
  VARTYPE vt = static_cast<VARTYPE>(V_VT(v) & ~VT_BYREF);
  if (vt == (VT_ARRAY | VT_UI1)) return true;
  switch (vt) {
    case VT_EMPTY: case VT_NULL: case VT_I1: case VT_I2: case VT_I4: case VT_I8: case VT_INT:
    case VT_UI1: case VT_UI2: case VT_UI4: case VT_UI8: case VT_UINT: case VT_R4: case VT_R8:
    case VT_CY: case VT_DATE: case VT_DECIMAL: case VT_BOOL: case VT_ERROR: case VT_BSTR:
      return true;
    default:
      return false;
  }
}

// Takes the call's own copy of an argument that arrives by reference (a
// script variable, a BSTR or an array by reference). `source` is left at the
// value to convert: the copy, or the caller's by-value argument itself.
HRESULT OwnArgument(const VARIANT* in, VARIANT* copy, const VARIANT** source) {
  *source = in;
  const VARIANT* v = Deref(in);
  if (!(V_VT(v) & VT_BYREF)) {
    // A by-reference VARIANT holding a value: the caller's variable.
    if (v == in) return S_OK;
  } else if (!V_BYREF(v)) {
    return DISP_E_TYPEMISMATCH;
  } else if (V_VT(v) == (VT_BYREF | VT_UI1)) {
    // A pointer into the caller's buffer: how many bytes follow it is told
    // only by a later argument, so there is nothing to copy yet.
    *source = v;
    return S_OK;
  }
  HRESULT hr = VariantCopyInd(copy, const_cast<VARIANT*>(v));
  if (FAILED(hr)) return hr;
  *source = copy;
  return S_OK;
}

}  // namespace

HRESULT ConvertArgs(const DispatchEntry& entry, const DISPPARAMS* params, DispatchArgs* out, UINT* argError) {
  const VARIANT* sources[kMaxDispatchArgs] = {};
  // A byte array by reference is borrowed, not copied, when no conversion
  // can run the caller's code: it is locked while it is converted, so its
  // data stays in place and alive for the call, and nothing of the caller
  // runs before the method has read it (the methods that take bytes show
  // no window). A page's megabyte is then not copied for every call.
  bool borrowBytes = true;
  for (UINT i = 0; i < params->cArgs; ++i) borrowBytes = borrowBytes && RunsNoCallerCode(&params->rgvarg[i]);
  // Every other argument that arrives by reference becomes the call's own,
  // before any conversion can run the caller's code.
  for (int i = 0; i < entry.argCount; ++i) {
    UINT position = params->cArgs - 1 - static_cast<UINT>(i);
    if (borrowBytes && entry.args[i] == ArgKind::kBytesRef) {
      sources[i] = &params->rgvarg[position];
      continue;
    }
    HRESULT hr = OwnArgument(&params->rgvarg[position], out->m_owned[i].Get(), &sources[i]);
    if (FAILED(hr)) {
      if (argError) *argError = position;
      return hr == E_OUTOFMEMORY ? hr : DISP_E_TYPEMISMATCH;
    }
  }
  for (int i = 0; i < entry.argCount; ++i) {
    UINT position = params->cArgs - 1 - static_cast<UINT>(i);
    const VARIANT* in = sources[i];
    HRESULT hr;
    switch (entry.args[i]) {
      case ArgKind::kBstr: {
        if (V_VT(in) == VT_BSTR) {
          out->m_texts[i] = V_BSTR(in);
          hr = S_OK;
        } else {
          hr = VariantChangeType(out->m_values[i].Get(), const_cast<VARIANT*>(in), 0, VT_BSTR);
          if (SUCCEEDED(hr)) out->m_texts[i] = V_BSTR(out->m_values[i].Get());
        }
        break;
      }
      case ArgKind::kI4:
        hr = VariantChangeType(out->m_values[i].Get(), const_cast<VARIANT*>(in), 0, VT_I4);
        break;
      case ArgKind::kBytesRef:
        hr = ConvertBytes(in, &out->m_bytes[i], &out->m_locked[i]);
        break;
      default:
        hr = DISP_E_TYPEMISMATCH;
    }
    if (FAILED(hr)) {
      if (argError) *argError = position;
      // Out of memory is not the caller's fault; everything else is a value
      // of the wrong kind.
      return hr == E_OUTOFMEMORY ? hr : DISP_E_TYPEMISMATCH;
    }
  }
  return S_OK;
}

HRESULT InvokeFromTable(const DispatchTable& table, void* object, DISPID dispid, WORD flags,
                        DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo, UINT* argError) {
  const DispatchEntry* entry = table.Find(dispid);
  if (!entry) return DISP_E_MEMBERNOTFOUND;
  if (!(flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET))) return DISP_E_MEMBERNOTFOUND;
  static DISPPARAMS noParams = {nullptr, nullptr, 0, 0};
  if (!params) params = &noParams;
  if (params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
  if (params->cArgs != static_cast<UINT>(entry->argCount)) return DISP_E_BADPARAMCOUNT;
  if (params->cArgs && !params->rgvarg) return E_INVALIDARG;
  try {
    DispatchArgs args;
    HRESULT hr = ConvertArgs(*entry, params, &args, argError);
    if (FAILED(hr)) return hr;
    ScopedVariant answer;
    entry->invoke(object, args, answer.Get());
    if (result) {
      VariantInit(result);
      answer.Detach(result);
    }
    return S_OK;
  } catch (...) {
    HRESULT code = ResultFromCaughtException();
    if (excepInfo) {
      ZeroMemory(excepInfo, sizeof(*excepInfo));
      excepInfo->scode = code;
    }
    return DISP_E_EXCEPTION;
  }
}

HRESULT NamesFromTable(const DispatchTable& table, LPOLESTR* names, UINT count, DISPID* ids) {
  if (!names || !ids) return E_POINTER;
  if (count == 0) return S_OK;
  const DispatchEntry* entry = table.FindByName(names[0]);
  ids[0] = entry ? entry->dispid : DISPID_UNKNOWN;
  for (UINT i = 1; i < count; ++i) ids[i] = DISPID_UNKNOWN;
  return entry && count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
}

}  // namespace framework
