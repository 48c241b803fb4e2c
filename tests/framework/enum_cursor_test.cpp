// The position every COM enumerator of the framework keeps: Skip answers
// S_FALSE and stops at the end when fewer items are left, Reset returns to
// the first item.
#include "framework/enum_cursor.h"

#include <gtest/gtest.h>

namespace {

TEST(EnumCursor, SkipStopsAtTheEndAndResetStartsAgain) {
  struct Case {
    const char* name;
    size_t count, start;
    ULONG skip;
    HRESULT answer;
    size_t position;
  } cases[] = {
      {"within the list", 3, 0, 2, S_OK, 2},
      {"exactly to the end", 3, 1, 2, S_OK, 3},
      {"past the end", 3, 2, 5, S_FALSE, 3},
      {"from the end", 3, 3, 1, S_FALSE, 3},
      {"nothing", 3, 1, 0, S_OK, 1},
      {"an empty list", 0, 0, 1, S_FALSE, 0},
      {"the largest count", 3, 1, 0xFFFFFFFFu, S_FALSE, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    framework::EnumCursor cursor(c.count, c.start);
    EXPECT_EQ(c.answer, cursor.Skip(c.skip));
    EXPECT_EQ(c.position, cursor.Position());
    EXPECT_EQ(c.position == c.count, cursor.AtEnd());
    cursor.Reset();
    EXPECT_EQ(0u, cursor.Position());
    EXPECT_EQ(c.count == 0, cursor.AtEnd());
  }
}

}  // namespace
