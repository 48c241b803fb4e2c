#pragma once
#include <windows.h>
#include <oleauto.h>

namespace framework {

// Owns a VARIANT (cleared with VariantClear).
class ScopedVariant {
 public:
  ScopedVariant() { VariantInit(&m_var); }
  ScopedVariant(const ScopedVariant&) = delete;
  ScopedVariant& operator=(const ScopedVariant&) = delete;
  ~ScopedVariant() { VariantClear(&m_var); }

  VARIANT* Get() { return &m_var; }
  const VARIANT* Get() const { return &m_var; }
  VARIANT* Receive() {
    VariantClear(&m_var);
    return &m_var;
  }
  // Hands the value to the caller, who owns it from now on.
  void Release(VARIANT* out) {
    *out = m_var;
    VariantInit(&m_var);
  }

 private:
  VARIANT m_var;
};

}  // namespace framework
