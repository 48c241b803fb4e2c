#include "control/result_codes.h"

#include "framework/module.h"

namespace {
// Indexed by code 0 to 38.
constexpr UINT kResultTextIds[rc::kLastWithText + 1] = {
    3,  4,  5,  35, 6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21,
    22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 36, 37, 38, 39, 40, 41};
}  // namespace

UINT ResultTextId(ResultCode code) {
  if (code < 0 || code > rc::kLastWithText) return 0;
  return kResultTextIds[code];
}

bool LoadResultText(ResultCode code, wchar_t (&text)[kResultTextChars]) {
  text[0] = L'\0';
  UINT id = ResultTextId(code);
  if (id == 0) return false;
  return LoadStringW(framework::ModuleInstance(), id, text, kResultTextChars) > 0;
}
