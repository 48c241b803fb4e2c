#pragma once

namespace norelCertInfoUtl {

struct TimeFields {
  unsigned short year, month, day, hour, minute, second;
};

// Reads "year/month/day hour:minute:second" the way the wide formatted
// input "%04d/%02d/%02d %02d:%02d:%02d" reads it, looking at no more than
// the first 30 characters: each number may follow white space and carry a
// sign, the year takes at most four characters and every other field two,
// "/" and ":" must match exactly, and the blank matches any run of white
// space, none included. Answers how many fields were read (0 to 6); the
// fields not read are left as they were.
int ParseTimeFields(const wchar_t* text, TimeFields* out);

}  // namespace norelCertInfoUtl
