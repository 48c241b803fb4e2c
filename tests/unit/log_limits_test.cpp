// What an entry keeps of an argument and how much a day's file takes,
// platform-free. Built for Windows and natively.
#include "diag/log_limits.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(LogLimits, ArgumentCut) {
  struct Case {
    size_t length;
    size_t kept;
    size_t left;
  } cases[] = {{0, 0, 0}, {1, 1, 0}, {diag::kMaxArgumentChars, diag::kMaxArgumentChars, 0},
               {diag::kMaxArgumentChars + 1, diag::kMaxArgumentChars, 1},
               {1000000, diag::kMaxArgumentChars, 1000000 - diag::kMaxArgumentChars}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.length);
    std::wstring text(c.length, L'\x0416');
    diag::CutArgument(&text);
    std::wstring want(c.kept, L'\x0416');
    if (c.left) want += L"... [" + std::to_wstring(c.left) + L" more characters]";
    EXPECT_TRUE(text == want);
  }
  // A surrogate pair at the cut is left out whole; one that ends at the
  // cut is kept.
  std::wstring pairs;
  for (size_t i = 0; i < diag::kMaxArgumentChars; ++i) pairs += L"\xD83D\xDE00";
  std::wstring shifted = L"x" + pairs;
  diag::CutArgument(&pairs);
  EXPECT_EQ(L"\xDE00... [" + std::to_wstring(diag::kMaxArgumentChars) + L" more characters]",
            pairs.substr(diag::kMaxArgumentChars - 1));
  diag::CutArgument(&shifted);
  EXPECT_EQ(L"\xDE00... [" + std::to_wstring(diag::kMaxArgumentChars + 2) + L" more characters]",
            shifted.substr(diag::kMaxArgumentChars - 2));
}

TEST(LogLimits, DayBudget) {
  using diag::DayBudget;
  const uint64_t limit = diag::kMaxDayFileBytes, room = diag::kDayLimitRoom;
  struct Case {
    uint64_t file, entry;
    bool ended;
    DayBudget want;
  } cases[] = {
      {0, 100, false, DayBudget::kWrite},
      {limit - room - 100, 100, false, DayBudget::kWrite},
      {limit - room - 100, 101, false, DayBudget::kWriteLimitLine},
      {0, limit, false, DayBudget::kWriteLimitLine},
      {limit - room, 1, false, DayBudget::kDrop},
      {limit * 4, 1, false, DayBudget::kDrop},
      {1000, 10, true, DayBudget::kDrop},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.file << " + " << c.entry);
    EXPECT_EQ(c.want, diag::Budget(c.file, c.entry, c.ended));
  }
  EXPECT_LT(std::wstring(diag::kDayLimitText).size() + 64, room) << "the limit entry fits its room";
}

}  // namespace
