// Level names from SetLogging and the registry, and the leading number the
// registry settings read.
#include <cwctype>

#include "diag/log_format.h"
#include "diag/log_levels.h"
#include "fuzz/wide_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::wstring text = fuzzing::WideUnits(data, size);
  int level = diag::LevelFromName(text.c_str());
  FUZZ_REQUIRE(level >= -1 && level < 7);
  if (level >= 0) FUZZ_REQUIRE(wcslen(text.c_str()) == wcslen(diag::kLevelNames[level]));
  long value = diag::ParseLeadingInt(text.c_str());
  (void)value;
  return 0;
}
