#include "diag/log_levels.h"

#include <cwctype>

namespace diag {

const wchar_t* const kLevelNames[7] = {L"NONE", L"FATAL", L"ERROR", L"WARNING", L"INFO", L"DEBUG", L"TRACE"};

namespace {
bool EqualIgnoringCase(const wchar_t* a, const wchar_t* b) {
  for (; *a && *b; ++a, ++b) {
    if (towlower(static_cast<wint_t>(*a)) != towlower(static_cast<wint_t>(*b))) return false;
  }
  return *a == *b;
}
}  // namespace

int LevelFromName(const wchar_t* name) {
  if (!name || !*name) return -1;
  for (int i = 0; i < 7; ++i) {
    if (EqualIgnoringCase(name, kLevelNames[i])) return i;
  }
  return -1;
}

}  // namespace diag
