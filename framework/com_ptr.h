#pragma once
#include <windows.h>
#include <objbase.h>

#include <utility>

namespace framework {

// Owns one reference to a COM interface, in the spirit of ATL's CComPtr.
template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(T* p) : m_p(p) {  // NOLINT: implicit from a raw pointer, adds a reference
    if (m_p) m_p->AddRef();
  }
  ComPtr(const ComPtr& other) : ComPtr(other.m_p) {}
  ComPtr(ComPtr&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
  ~ComPtr() { Reset(); }
  ComPtr& operator=(ComPtr other) noexcept {
    std::swap(m_p, other.m_p);
    return *this;
  }

  void Reset() {
    if (T* p = std::exchange(m_p, nullptr)) p->Release();
  }
  // Takes over a reference the caller already owns.
  void Attach(T* p) {
    Reset();
    m_p = p;
  }
  [[nodiscard]] T* Detach() { return std::exchange(m_p, nullptr); }
  T** Receive() {
    Reset();
    return &m_p;
  }
  void** ReceiveVoid() { return reinterpret_cast<void**>(Receive()); }
  T* Get() const { return m_p; }
  T* operator->() const { return m_p; }
  explicit operator bool() const { return m_p != nullptr; }

  template <class Q>
  HRESULT As(ComPtr<Q>& out) const {
    if (!m_p) return E_POINTER;
    return m_p->QueryInterface(__uuidof(Q), out.ReceiveVoid());
  }

 private:
  T* m_p = nullptr;
};

}  // namespace framework
