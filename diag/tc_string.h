#pragma once
#include <cstddef>

#include "diag/instance_counter.h"

// A small owning wide string used by the log. "Present" means the buffer
// holds a zero-terminated string; capacities count characters including the
// terminator.
class CMyTCString : public CInstanceCounter {
 public:
  CMyTCString() noexcept = default;
  explicit CMyTCString(const wchar_t* text) noexcept;
  CMyTCString(const CMyTCString& other) noexcept;
  CMyTCString& operator=(const CMyTCString& other) noexcept;
  ~CMyTCString() override;

  int Assign(const wchar_t* text) noexcept;
  int Append(const wchar_t* text) noexcept;
  int AppendChar(wchar_t ch) noexcept;
  int Length() const noexcept;
  const wchar_t* Get() const noexcept { return m_present ? m_buffer : nullptr; }
  wchar_t* GetBuffer() noexcept { return m_present ? m_buffer : nullptr; }
  int Capacity() const noexcept { return m_capacity; }
  bool IsPresent() const noexcept { return m_present; }
  int Reserve(int n) noexcept;
  int Grow(int n) noexcept;
  int Reset() noexcept;
  int Truncate(int i) noexcept;
  int Compare(const wchar_t* text, bool ignoreCase) const noexcept;
  bool EndsWith(wchar_t ch) const noexcept;
  int Find(wchar_t ch) const noexcept;
  int Clear() noexcept;

 private:
  bool Aliases(const wchar_t* text) const noexcept;

  wchar_t* m_buffer = nullptr;
  int m_capacity = 0;
  bool m_present = false;
};
