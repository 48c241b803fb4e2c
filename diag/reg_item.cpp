#include "diag/reg_item.h"

#include <cwchar>
#include <new>
#include <string>

#include "certutil/crypt_handles.h"
#include "diag/log.h"
#include "diag/log_format.h"

namespace {
void CopyName(wchar_t (&dest)[CMyRegItem::kNameChars], const wchar_t* src) {
  dest[0] = L'\0';
  if (src) wcsncat(dest, src, CMyRegItem::kNameChars - 1);
}

}  // namespace

CMyRegItem::CMyRegItem(HKEY root, const wchar_t* keyPath, const wchar_t* valueName,
                       const wchar_t* defaultText)
    : m_root(root) {
  CopyName(m_keyPath, keyPath);
  CopyName(m_valueName, valueName);
  if (Read()) return;
  if (m_lastReadError == ERROR_FILE_NOT_FOUND) {
    Write(defaultText);
    return;
  }
  // The value exists but could not be read (too long, access denied): keep
  // the stored data as it is and work with the default.
  if (defaultText && HoldText(defaultText)) m_number = diag::ParseLeadingInt(defaultText);
}

const wchar_t* CMyRegItem::RootName(HKEY root) {
  if (root == HKEY_LOCAL_MACHINE) return L"HKLM";
  if (root == HKEY_CURRENT_USER) return L"HKCU";
  if (root == HKEY_CLASSES_ROOT) return L"HKCR";
  return L"????";
}

void CMyRegItem::DiscardText() {
  m_text.reset();
}

bool CMyRegItem::HoldText(const wchar_t* text) {
  DiscardText();
  m_text.reset(_wcsdup(text));
  return m_text != nullptr;
}

bool CMyRegItem::Read() {
  DiscardText();
  ScopedRegKey key;
  LONG rc = RegOpenKeyExW(m_root, m_keyPath, 0, KEY_READ, key.Receive());
  m_lastReadError = rc;
  if (rc != ERROR_SUCCESS) {
    theLog.Error(L"RegOpenKeyEx [%s\\%s] failed with [%ld]", RootName(m_root), m_keyPath, rc);
    return false;
  }
  // One spare character beyond the 260 bytes keeps a full-length string
  // without terminator readable.
  wchar_t buffer[kValueBytes / sizeof(wchar_t) + 1] = {};
  DWORD size = kValueBytes;
  rc = RegQueryValueExW(key.Get(), m_valueName, nullptr, &m_type, reinterpret_cast<BYTE*>(buffer), &size);
  m_lastReadError = rc;
  if (rc != ERROR_SUCCESS) {
    theLog.Error(L"RegQueryValueEx [%s] failed with [%ld]", m_valueName, rc);
    m_type = 0;
    return false;
  }
  std::wstring text;
  long number = 0;
  if (m_type == REG_SZ || m_type == REG_EXPAND_SZ) {
    size_t chars = size / sizeof(wchar_t);
    text.assign(buffer, wcsnlen(buffer, chars));
    number = diag::ParseLeadingInt(text.c_str());
  } else if (m_type == REG_DWORD) {
    DWORD value = 0;
    memcpy(&value, buffer, size < sizeof(value) ? size : sizeof(value));
    number = static_cast<long>(value);
    text = diag::Format(L"%lu", static_cast<unsigned long>(value));
  }
  if (!HoldText(text.c_str())) {
    theLog.Error(L"_tcsdup failed: insufficient memory to read item [%s\\%s\\%s] from registry",
                 RootName(m_root), m_keyPath, m_valueName);
    return false;
  }
  m_number = number;
  return true;
}

bool CMyRegItem::Write(const wchar_t* text) {
  if (!text) return false;
  DiscardText();
  if (m_type == 0) m_type = REG_SZ;
  m_number = diag::ParseLeadingInt(text);
  if (!HoldText(text)) {
    theLog.Error(L"_tcsdup failed: insufficient memory to store value [%s] to registry", text);
    return false;
  }
  DWORD dword = static_cast<DWORD>(m_number);
  const BYTE* data;
  DWORD bytes;
  if (m_type == REG_DWORD) {
    data = reinterpret_cast<const BYTE*>(&dword);
    bytes = sizeof(dword);
  } else if (m_type == REG_SZ || m_type == REG_EXPAND_SZ) {
    data = reinterpret_cast<const BYTE*>(m_text.get());
    bytes = static_cast<DWORD>((wcslen(m_text.get()) + 1) * sizeof(wchar_t));
  } else {
    theLog.Error(L"Type [%ld] is not supported for storing to registry", static_cast<long>(m_type));
    return false;
  }
  ScopedRegKey key;
  LONG rc = RegCreateKeyW(m_root, m_keyPath, key.Receive());
  if (rc != ERROR_SUCCESS) {
    theLog.Error(L"RegCreateKey [%s\\%s] failed with [%ld]", RootName(m_root), m_keyPath, rc);
    return false;
  }
  rc = RegSetValueExW(key.Get(), m_valueName, 0, m_type, data, bytes);
  if (rc != ERROR_SUCCESS) {
    theLog.Error(L"RegSetValueEx [%s][%s] type [%ld] failed with [%ld]", m_valueName, m_text.get(),
                 static_cast<long>(m_type), rc);
    return false;
  }
  return true;
}
