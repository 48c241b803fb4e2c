#pragma once
#include <windows.h>

namespace framework {

// Raised by the array and variant operations when the platform fails (out
// of memory); the dispatch layer turns it into DISP_E_EXCEPTION.
class OleException {
 public:
  explicit OleException(HRESULT hr) : m_hr(hr) {}
  HRESULT Code() const { return m_hr; }

 private:
  HRESULT m_hr;
};

inline void ThrowIfFailed(HRESULT hr) {
  if (FAILED(hr)) throw OleException(hr);
}

}  // namespace framework
