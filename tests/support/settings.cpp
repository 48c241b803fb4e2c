#include "tests/support/settings.h"

bool WriteRegistryValue(HKEY root, const wchar_t* key, const wchar_t* name, DWORD type, const void* data, DWORD bytes) {
  HKEY opened = nullptr;
  if (RegCreateKeyExW(root, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &opened, nullptr) != ERROR_SUCCESS)
    return false;
  LONG rc = RegSetValueExW(opened, name, 0, type, static_cast<const BYTE*>(data), bytes);
  RegCloseKey(opened);
  return rc == ERROR_SUCCESS;
}

bool WriteRegistryText(HKEY root, const wchar_t* key, const wchar_t* name, const std::wstring& text, DWORD type) {
  return WriteRegistryValue(root, key, name, type, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}
