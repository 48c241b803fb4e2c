// The time text a page passes to LocalTimeToUTCTime.
#include "certutil/time_fields.h"
#include "fuzz/wide_input.h"

using namespace norelCertInfoUtl;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::wstring text = fuzzing::WideUnits(data, size);
  // Exactly sized, so that a read past the terminator is caught.
  std::wstring exact(text.c_str());
  TimeFields before = {1, 2, 3, 4, 5, 6};
  TimeFields f = before;
  int read = ParseTimeFields(exact.c_str(), &f);
  FUZZ_REQUIRE(read >= 0 && read <= 6);
  const unsigned short* was = &before.year;
  const unsigned short* now = &f.year;
  for (int i = read; i < 6; ++i) FUZZ_REQUIRE(was[i] == now[i]);
  // Only the first 30 characters count.
  if (exact.size() > 30) {
    TimeFields g = before;
    FUZZ_REQUIRE(ParseTimeFields(exact.substr(0, 30).c_str(), &g) == read);
  }
  FUZZ_REQUIRE(ParseTimeFields(nullptr, &f) == 0);
  return 0;
}
