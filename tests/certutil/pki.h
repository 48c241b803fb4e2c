#pragma once
#include <windows.h>
#include <wincrypt.h>

#include <string>

// The test PKI's files (TESSARN_PKI names the folder).
std::wstring PkiPath(const std::wstring& file);
std::string PkiText(const std::wstring& file);  // a .b64, .sha1 or .md5 file
std::wstring PkiWide(const std::wstring& file);
// A context for NAME.b64; null when the file is missing.
PCCERT_CONTEXT PkiCert(const std::wstring& name);
// Adds NAME.b64 to a system store of the current user.
bool AddToStore(const wchar_t* store, const std::wstring& name);
