#include "certutil/time_text.h"

#include <gtest/gtest.h>

using norelCertInfoUtl::ParseTimeText;

namespace {

TEST(ParseTimeText, Cases) {
  struct Case {
    const wchar_t* text;
    int fields;
    SYSTEMTIME want;
  } cases[] = {
      {L"2017/12/02 15:22:59", 6, {2017, 12, 0, 2, 15, 22, 59, 0}},
      {L"2017/1/2 3:4:5", 6, {2017, 1, 0, 2, 3, 4, 5, 0}},
      {L" 2017/ 1/ 2\t\t3: 4: 5", 6, {2017, 1, 0, 2, 3, 4, 5, 0}},
      {L"2017/01/0203:04:05", 6, {2017, 1, 0, 2, 3, 4, 5, 0}},
      {L"20171/01/02 03:04:05", 1, {2017, 0, 0, 0, 0, 0, 0, 0}},
      {L"2017-01-02 03:04:05", 1, {2017, 0, 0, 0, 0, 0, 0, 0}},
      {L"2017 /01/02 03:04:05", 1, {2017, 0, 0, 0, 0, 0, 0, 0}},
      {L"", 0, {}},
      {nullptr, 0, {}},
      {L"2017/12/31 23:59:5", 6, {2017, 12, 0, 31, 23, 59, 5, 0}},
      // Only the first 30 characters are read.
      {L"                        2017/01/02 03:04:05", 2, {2017, 0, 0, 0, 0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.text ? c.text : L"(null)"));
    SYSTEMTIME t = {};
    EXPECT_EQ(c.fields, ParseTimeText(c.text, &t)) << (c.text ? c.text : L"(null)");
    EXPECT_EQ(c.want.wYear, t.wYear);
    EXPECT_EQ(c.want.wMonth, t.wMonth);
    EXPECT_EQ(c.want.wDay, t.wDay);
    EXPECT_EQ(c.want.wHour, t.wHour);
    EXPECT_EQ(c.want.wMinute, t.wMinute);
    EXPECT_EQ(c.want.wSecond, t.wSecond);
  }
}

}  // namespace
