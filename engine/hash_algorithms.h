#pragma once
#include <windows.h>
#include <wincrypt.h>

// The hash algorithm names callers pass as text. Each lookup folds the
// caller's name to upper case in place, then compares it exactly.
bool IsHashAlgValid(wchar_t* name);
ALG_ID GetHashAlgId(wchar_t* name);      // -1 for none
const char* GetHashAlgOid(wchar_t* name);  // null for none
// True when a thumbprint of this algorithm name is an MD5 hash (otherwise
// SHA-1).
bool IsMd5ThumbprintName(const wchar_t* name);
