#pragma once
#include <windows.h>

#include "certutil/heap.h"

// One registry value bound to an in-memory copy: read once at construction,
// offered as text and as a number. A missing key or value is created with
// the default; a value that exists but cannot be read is left alone and the
// item holds the default.
class CMyRegItem {
 public:
  static constexpr int kNameChars = 260;
  static constexpr DWORD kValueBytes = 260;

  CMyRegItem(HKEY root, const wchar_t* keyPath, const wchar_t* valueName, const wchar_t* defaultText);
  ~CMyRegItem() = default;
  CMyRegItem(const CMyRegItem&) = delete;
  CMyRegItem& operator=(const CMyRegItem&) = delete;

  bool Read();
  bool Write(const wchar_t* text);
  static const wchar_t* RootName(HKEY root);

  const wchar_t* Text() const { return m_text.get(); }
  wchar_t* MutableText() { return m_text.get(); }
  long Number() const { return m_number; }
  DWORD Type() const { return m_type; }

 private:
  void DiscardText();
  bool HoldText(const wchar_t* text);

  HKEY m_root;
  wchar_t m_keyPath[kNameChars];
  wchar_t m_valueName[kNameChars];
  DWORD m_type = 0;
  MallocPtr<wchar_t> m_text;
  long m_number = 0;
  LONG m_lastReadError = ERROR_SUCCESS;
};
