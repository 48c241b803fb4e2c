#include "control/result_codes.h"

#include <cwchar>

#include "framework/module.h"

namespace {
// Indexed by code 0 to 38.
constexpr UINT kResultTextIds[rc::kLastWithText + 1] = {
    3,  4,  5,  35, 6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21,
    22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 36, 37, 38, 39, 40, 41};
// Codes added after those without text: {code, string ID}.
struct LaterText {
  ResultCode code;
  UINT id;
};
constexpr LaterText kLaterTextIds[] = {{rc::kInputTooLarge, 42}};
}  // namespace

UINT ResultTextId(ResultCode code) {
  for (const LaterText& later : kLaterTextIds)
    if (later.code == code) return later.id;
  if (code < 0 || code > rc::kLastWithText) return 0;
  return kResultTextIds[code];
}

namespace {

// The module has two string tables: Czech, and English for every other
// user-interface language.
LANGID TableLanguage() {
  return PRIMARYLANGID(GetThreadUILanguage()) == LANG_CZECH ? MAKELANGID(LANG_CZECH, SUBLANG_DEFAULT)
                                                            : MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
}

// Reads string `id` of the given language from the module's string blocks
// (16 counted strings per block). The resource loader's own choice of
// language follows the thread locale on some platforms; the thread's
// user-interface language is what decides here.
bool LoadStringInLanguage(HINSTANCE module, UINT id, LANGID language, wchar_t* text, int chars) {
  HRSRC found = FindResourceExW(module, reinterpret_cast<LPCWSTR>(RT_STRING),
                                MAKEINTRESOURCEW(id / 16 + 1), language);
  if (!found) return false;
  HGLOBAL loaded = LoadResource(module, found);
  const WCHAR* p = loaded ? static_cast<const WCHAR*>(LockResource(loaded)) : nullptr;
  DWORD size = SizeofResource(module, found) / sizeof(WCHAR);
  if (!p) return false;
  const WCHAR* end = p + size;
  for (UINT i = 0; i < id % 16; ++i) {
    if (p >= end) return false;
    p += 1 + *p;
  }
  if (p >= end || *p == 0 || p + 1 + *p > end) return false;
  int length = *p < chars - 1 ? *p : chars - 1;
  wmemcpy(text, p + 1, static_cast<size_t>(length));
  text[length] = L'\0';
  return true;
}

}  // namespace

bool LoadResultText(ResultCode code, wchar_t (&text)[kResultTextChars]) {
  text[0] = L'\0';
  UINT id = ResultTextId(code);
  if (id == 0) return false;
  HINSTANCE module = framework::ModuleInstance();
  if (LoadStringInLanguage(module, id, TableLanguage(), text, kResultTextChars)) return true;
  return LoadStringW(module, id, text, kResultTextChars) > 0;
}

std::wstring LoadUiText(UINT id) {
  wchar_t text[kResultTextChars];
  HINSTANCE module = framework::ModuleInstance();
  if (LoadStringInLanguage(module, id, TableLanguage(), text, kResultTextChars)) return text;
  if (LoadStringW(module, id, text, kResultTextChars) > 0) return text;
  return std::wstring();
}
