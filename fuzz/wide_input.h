#pragma once
// Fuzz input as the module sees text: UTF-16 code units (two bytes each,
// little-endian), held in wchar_t whatever wchar_t's width is here, so that
// unpaired surrogates and every control character reach the code under test.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace fuzzing {

inline std::wstring WideUnits(const uint8_t* data, size_t size) {
  std::wstring text;
  text.reserve(size / 2);
  for (size_t i = 0; i + 1 < size; i += 2) text += static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
  return text;
}

// A property of the code under test that does not hold: stop the run so that
// libFuzzer keeps the input.
#define FUZZ_REQUIRE(condition) \
  do {                          \
    if (!(condition)) abort();  \
  } while (0)

}  // namespace fuzzing
