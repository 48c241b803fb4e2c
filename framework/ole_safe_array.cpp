#include "framework/ole_safe_array.h"

#include "framework/ole_exception.h"

namespace framework {

void COleSafeArray::CreateOneDim(VARTYPE vt, ULONG count) {
  SAFEARRAYBOUND bound = {count, 0};
  SAFEARRAY* array = SafeArrayCreate(vt, 1, &bound);
  if (!array) throw OleException(E_OUTOFMEMORY);
  VARIANT* v = m_var.Receive();
  V_VT(v) = static_cast<VARTYPE>(VT_ARRAY | vt);
  V_ARRAY(v) = array;
}

void COleSafeArray::ResizeOneDim(ULONG count) {
  SAFEARRAY* array = Array();
  if (!array) throw OleException(E_UNEXPECTED);
  SAFEARRAYBOUND bound = {count, 0};
  ThrowIfFailed(SafeArrayRedim(array, &bound));
}

LONG COleSafeArray::GetOneDimSize() const {
  SAFEARRAY* array = Array();
  if (!array) throw OleException(E_UNEXPECTED);
  LONG lower = 0, upper = -1;
  ThrowIfFailed(SafeArrayGetLBound(array, 1, &lower));
  ThrowIfFailed(SafeArrayGetUBound(array, 1, &upper));
  return upper - lower + 1;
}

void COleSafeArray::PutElement(LONG index, const VARIANT* value) {
  SAFEARRAY* array = Array();
  if (!array) throw OleException(E_UNEXPECTED);
  ThrowIfFailed(SafeArrayPutElement(array, &index, const_cast<VARIANT*>(value)));
}

void COleSafeArray::MoveIntoElement(LONG index, VARIANT* value) {
  SAFEARRAY* array = Array();
  if (!array) throw OleException(E_UNEXPECTED);
  void* slot = nullptr;
  ThrowIfFailed(SafeArrayLock(array));
  HRESULT hr;
  {
    ScopedSafeArrayLock lock(array);
    hr = SafeArrayPtrOfIndex(array, &index, &slot);
    if (SUCCEEDED(hr)) {
      // The element's old value is replaced, so it is cleared first.
      VariantClear(static_cast<VARIANT*>(slot));
      *static_cast<VARIANT*>(slot) = *value;
      VariantInit(value);
    }
  }
  ThrowIfFailed(hr);
}

void COleSafeArray::GetElement(LONG index, VARIANT* out) const {
  SAFEARRAY* array = Array();
  if (!array) throw OleException(E_UNEXPECTED);
  ThrowIfFailed(SafeArrayGetElement(array, &index, out));
}

}  // namespace framework
