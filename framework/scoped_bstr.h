#pragma once
#include <windows.h>
#include <oleauto.h>

#include <utility>

namespace framework {

// Owns a BSTR (freed with SysFreeString), like ATL's CComBSTR.
class ScopedBstr {
 public:
  ScopedBstr() = default;
  explicit ScopedBstr(const wchar_t* text) : m_str(text ? SysAllocString(text) : nullptr) {}
  ScopedBstr(const wchar_t* text, UINT length) : m_str(SysAllocStringLen(text, length)) {}
  ScopedBstr(ScopedBstr&& other) noexcept : m_str(std::exchange(other.m_str, nullptr)) {}
  ScopedBstr(const ScopedBstr&) = delete;
  ScopedBstr& operator=(const ScopedBstr&) = delete;
  ~ScopedBstr() { SysFreeString(m_str); }

  void Reset(BSTR str = nullptr) {
    SysFreeString(m_str);
    m_str = str;
  }
  BSTR Release() { return std::exchange(m_str, nullptr); }
  BSTR* Receive() {
    Reset();
    return &m_str;
  }
  BSTR Get() const { return m_str; }
  UINT Length() const { return SysStringLen(m_str); }

 private:
  BSTR m_str = nullptr;
};

}  // namespace framework
