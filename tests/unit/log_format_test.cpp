#include "diag/log_format.h"

#include <gtest/gtest.h>

#include <climits>
#include <clocale>

using diag::Format;

namespace {

TEST(LogFormat, WindowsWideConventions) {
  struct Case {
    std::wstring got, want;
  } cases[] = {
      {Format(L"%s %d.%d.%d.%d", L"Tessarn", 2, 3, 21113, 0), L"Tessarn 2.3.21113.0"},
      {Format(L"[%s][%s]", L"a", static_cast<const wchar_t*>(nullptr)), L"[a][(null)]"},
      {Format(L"%hs|%S", "narrow", "too"), L"narrow|too"},
      {Format(L"%c%c", L'T', L'\x010d'), L"T\x010d"},
      {Format(L"%x %X %lx %ld", 0x1a2cu, 0xbeefu, 0xdeadbeefUL, -5L), L"1a2c BEEF deadbeef -5"},
      {Format(L"%02d:%02d:%02d,%03d", 1, 2, 3, 4), L"01:02:03,004"},
      {Format(L"%04d%02d%02d", 2024, 1, 31), L"20240131"},
      {Format(L"%lu %u", 4294967295UL, 7u), L"4294967295 7"},
      {Format(L"%d %d", INT_MIN, INT_MAX), L"-2147483648 2147483647"},
      {Format(L"%5d|%-5d|%05d|%+d", 42, 42, -42, 42), L"   42|42   |-0042|+42"},
      {Format(L"%.3s|%5s|%-3s|", L"abcdef", L"ab", L"x"), L"abc|   ab|x  |"},
      {Format(L"%I64d %lld", -1234567890123LL, 9000000000LL), L"-1234567890123 9000000000"},
      {Format(L"100%%"), L"100%"},
      {Format(L"dangling %"), L"dangling %"},
      {Format(L"%q unknown"), L"%q unknown"},
      {Format(L"rv=%d!\r\n", 35), L"rv=35!\r\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.want, c.got);
}

TEST(LogFormat, PercentNWritesNothingAndConsumesNothing) {
  EXPECT_EQ(L"a b", Format(L"a %n%s", L"b"));
}

TEST(LogFormat, ArgumentsOfAnyLengthAreFormattedWhole) {
  std::wstring big(100000, L'Q');
  std::wstring out = Format(L"[%s][%d]", big.c_str(), 7);
  EXPECT_EQ(100000u + 5u, out.size());
  EXPECT_EQ(L"[7]", out.substr(out.size() - 3));
}

TEST(LogFormat, DirectivesInArgumentsStayData) {
  EXPECT_EQ(L"[%s%n%x%ls]", Format(L"[%s]", L"%s%n%x%ls"));
}

// A text argument cannot break its entry's line or forge another entry:
// its control characters are written escaped; the format's own line breaks
// (the closing lines' "\r\n") stay.
TEST(LogFormat, ControlCharactersOfArgumentsAreEscaped) {
  struct Case {
    std::wstring got, want;
  } cases[] = {
      {Format(L"[%s]", L"a\r\n23:59:59,999 (Tid:1,T:E):x"), L"[a\\u000D\\u000A23:59:59,999 (Tid:1,T:E):x]"},
      {Format(L"[%s]", L"\x01\x1f\x7f\t"), L"[\\u0001\\u001F\\u007F\\u0009]"},
      {Format(L"[%s]", L"no controls, \x0161 and \x80 stay"), L"[no controls, \x0161 and \x80 stay]"},
      {Format(L"[%hs]", "narrow\n"), L"[narrow\\u000A]"},
      {Format(L"[%c%c]", L'\n', L'x'), L"[\\u000Ax]"},
      {Format(L"[%5s]", L"\n"), L"[\\u000A]"},
      {Format(L"[%.2s]", L"a\nb"), L"[a\\u000A]"},
      {Format(L"done (retCode=%d)\r\n", 0), L"done (retCode=0)\r\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.want, c.got);
}

TEST(LogBytes, AsciiIsKeptAndOtherCharactersAreDefined) {
  EXPECT_EQ("plain ASCII\r\n", diag::ToLogBytes(L"plain ASCII\r\n"));
  // In the C locale Latin-1 characters have a byte form; others are escaped.
  setlocale(LC_ALL, "C");
  EXPECT_EQ("caf\xe9", diag::ToLogBytes(L"caf\x00e9"));
  EXPECT_EQ("pam\\u011Bti", diag::ToLogBytes(L"pam\x011bti"));
  EXPECT_EQ("\\uD83D\\uDE00", diag::ToLogBytes(L"\xD83D\xDE00"));
  EXPECT_EQ(std::string("a\0b", 3), diag::ToLogBytes(std::wstring(L"a\0b", 3)));
}

TEST(ParseLeadingInt, Cases) {
  struct {
    const wchar_t* text;
    long want;
  } cases[] = {{L"4", 4},          {L"  -12abc", -12},      {L"+7", 7},           {L"abc", 0},
               {L"", 0},           {nullptr, 0},            {L"TRACE", 0},        {L"99999999999", LONG_MAX},
               {L"-99999999999", LONG_MIN}, {L"\t 42 ", 42}, {L"--1", 0},
               {L"2147483647", 2147483647L},   {L"-2147483648", LONG_MIN},
               {L"2147483648", LONG_MAX},      {L"-99999999999999999999999999999999999999", LONG_MIN},
               {L"18446744073709551616", LONG_MAX}};
  for (const auto& c : cases) EXPECT_EQ(c.want, diag::ParseLeadingInt(c.text)) << (c.text ? c.text : L"(null)");
}

}  // namespace
