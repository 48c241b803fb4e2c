#pragma once
#include <windows.h>

#include "certutil/time_fields.h"

namespace norelCertInfoUtl {

// ParseTimeFields into a SYSTEMTIME; the fields not read keep their values.
inline int ParseTimeText(const wchar_t* text, SYSTEMTIME* out) {
  TimeFields f = {out->wYear, out->wMonth, out->wDay, out->wHour, out->wMinute, out->wSecond};
  int read = ParseTimeFields(text, &f);
  out->wYear = f.year;
  out->wMonth = f.month;
  out->wDay = f.day;
  out->wHour = f.hour;
  out->wMinute = f.minute;
  out->wSecond = f.second;
  return read;
}

}  // namespace norelCertInfoUtl
