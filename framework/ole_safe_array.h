#pragma once
#include <windows.h>
#include <oleauto.h>

#include "certutil/crypt_handles.h"

namespace framework {

// A one-dimensional SAFEARRAY held in a VARIANT, like MFC's COleSafeArray.
// Every failing platform call raises OleException.
class COleSafeArray {
 public:
  COleSafeArray() = default;
  COleSafeArray(const COleSafeArray&) = delete;
  COleSafeArray& operator=(const COleSafeArray&) = delete;

  // Replaces the content with a new array of `count` elements of `vt`.
  void CreateOneDim(VARTYPE vt, ULONG count);
  // Changes the element count, keeping the lower bound 0.
  void ResizeOneDim(ULONG count);
  LONG GetOneDimSize() const;
  void PutElement(LONG index, const VARIANT* value);
  // Moves `value` into an element of a VARIANT array without copying it (a
  // copy would turn a null BSTR into an allocated empty one on some
  // platforms, and costs a second buffer for large texts); `value` is left
  // empty.
  void MoveIntoElement(LONG index, VARIANT* value);
  void GetElement(LONG index, VARIANT* out) const;
  SAFEARRAY* Array() const { return V_ISARRAY(m_var.Get()) ? V_ARRAY(m_var.Get()) : nullptr; }
  // The VARIANT to hand to a caller, who owns it from then on.
  void Detach(VARIANT* out) { m_var.Detach(out); }

 private:
  ScopedVariant m_var;
};

}  // namespace framework
