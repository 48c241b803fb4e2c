#include "diag/tc_string.h"

#include <climits>
#include <cwchar>
#include <new>
#include <string>

#include "diag/diag_codes.h"

using namespace diag;

CMyTCString::CMyTCString(const wchar_t* text) noexcept { Assign(text); }

CMyTCString::CMyTCString(const CMyTCString& other) noexcept : CInstanceCounter(other) { *this = other; }

CMyTCString& CMyTCString::operator=(const CMyTCString& other) noexcept {
  if (this != &other && other.m_present) Assign(other.m_buffer);
  return *this;
}

CMyTCString::~CMyTCString() { Clear(); }

// A text that points into our own buffer would be freed or cleared under our
// feet by Reserve/Grow; such callers get a private copy first.
bool CMyTCString::Aliases(const wchar_t* text) const noexcept {
  return m_buffer && text >= m_buffer && text < m_buffer + m_capacity;
}

int CMyTCString::Assign(const wchar_t* text) noexcept {
  if (!text) {
    Clear();
    return kOk;
  }
  if (Aliases(text)) {
    CMyTCString copy;
    int rv = copy.Assign(std::wstring(text).c_str());
    if (rv != kOk) return rv;
    return Assign(copy.Get());
  }
  size_t len = wcslen(text);
  if (len > static_cast<size_t>(INT_MAX - 2)) return kNoMemory;
  int rv = Reserve(static_cast<int>(len) + 2);
  if (rv != kOk) return rv;
  wmemcpy(m_buffer, text, len + 1);
  return kOk;
}

int CMyTCString::Append(const wchar_t* text) noexcept {
  if (!text) return kNullArgument;
  if (Aliases(text)) {
    CMyTCString copy;
    int rv = copy.Assign(text);
    if (rv != kOk) return rv;
    return Append(copy.Get());
  }
  size_t add = wcslen(text);
  size_t cur = static_cast<size_t>(Length());
  if (cur + add > static_cast<size_t>(INT_MAX - 2)) return kNoMemory;
  int rv = Grow(static_cast<int>(cur + add) + 2);
  if (rv != kOk) return rv;
  wmemcpy(m_buffer + cur, text, add + 1);
  return kOk;
}

int CMyTCString::AppendChar(wchar_t ch) noexcept {
  int cur = Length();
  int rv = Grow(cur + 2);
  if (rv != kOk) return rv;
  m_buffer[cur] = ch;
  m_buffer[cur + 1] = L'\0';
  return kOk;
}

int CMyTCString::Length() const noexcept {
  return m_present ? static_cast<int>(wcslen(m_buffer)) : 0;
}

int CMyTCString::Reserve(int n) noexcept {
  if (n < 1) return kBadSize;
  if (m_buffer && m_capacity >= n) {
    wmemset(m_buffer, L'\0', m_capacity);
    m_present = true;
    return kOk;
  }
  Clear();
  if (n == INT_MAX) return kNoMemory;
  wchar_t* fresh = new (std::nothrow) wchar_t[static_cast<size_t>(n) + 1];
  if (!fresh) return kNoMemory;
  wmemset(fresh, L'\0', static_cast<size_t>(n) + 1);
  m_buffer = fresh;
  m_capacity = n + 1;
  m_present = true;
  return kOk;
}

int CMyTCString::Grow(int n) noexcept {
  if (n < 1) return kBadGrowSize;
  if (m_buffer && m_capacity >= n) return kOk;
  if (!m_buffer) return Reserve(n);
  std::wstring saved;
  try {
    saved.assign(m_present ? m_buffer : L"");
  } catch (...) {
    return kNoMemory;
  }
  int rv = Reserve(n);
  if (rv != kOk) return rv;
  wmemcpy(m_buffer, saved.c_str(), saved.size() + 1);
  return kOk;
}

int CMyTCString::Reset() noexcept {
  Clear();
  return Reserve(1);
}

int CMyTCString::Truncate(int i) noexcept {
  if (!m_present) return Reserve(1);
  if (i >= 0 && i < Length()) m_buffer[i] = L'\0';
  return i;
}

int CMyTCString::Compare(const wchar_t* text, bool ignoreCase) const noexcept {
  if (!m_present || !text) return INT_MAX;
  int r = ignoreCase ? _wcsicmp(m_buffer, text) : wcscmp(m_buffer, text);
  return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

bool CMyTCString::EndsWith(wchar_t ch) const noexcept {
  int len = Length();
  return len > 0 && m_buffer[len - 1] == ch;
}

int CMyTCString::Find(wchar_t ch) const noexcept {
  if (!m_present) return -1;
  const wchar_t* at = wcschr(m_buffer, ch);
  return (at && ch != L'\0') ? static_cast<int>(at - m_buffer) : -1;
}

int CMyTCString::Clear() noexcept {
  delete[] m_buffer;
  m_buffer = nullptr;
  m_capacity = 0;
  m_present = false;
  return kOk;
}
