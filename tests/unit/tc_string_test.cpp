#include "diag/tc_string.h"

#include <gtest/gtest.h>

#include <climits>

#include "diag/diag_codes.h"

namespace {

TEST(CMyTCString, StartsAbsent) {
  CMyTCString s;
  EXPECT_FALSE(s.IsPresent());
  EXPECT_EQ(nullptr, s.Get());
  EXPECT_EQ(0, s.Length());
  EXPECT_EQ(0, s.Capacity());
  EXPECT_EQ(INT_MAX, s.Compare(L"", false));
  EXPECT_FALSE(s.EndsWith(L'a'));
  EXPECT_EQ(-1, s.Find(L'a'));
}

TEST(CMyTCString, AssignReservesLengthPlusTwo) {
  CMyTCString s;
  EXPECT_EQ(diag::kOk, s.Assign(L"abc"));
  EXPECT_STREQ(L"abc", s.Get());
  EXPECT_EQ(6, s.Capacity());  // Reserve(5) allocates 5 + 1
  EXPECT_EQ(diag::kOk, s.Assign(nullptr));
  EXPECT_FALSE(s.IsPresent());
  EXPECT_EQ(0, s.Capacity());
}

struct Op {
  const char* what;
  int (*run)(CMyTCString&);
  int result;
  const wchar_t* after;  // nullptr: absent
};

const Op kOps[] = {
    {"append to absent", [](CMyTCString& s) { return s.Append(L"xy"); }, diag::kOk, L"xy"},
    {"append null", [](CMyTCString& s) { s.Assign(L"a"); return s.Append(nullptr); }, diag::kNullArgument, L"a"},
    {"append grows", [](CMyTCString& s) { s.Assign(L"ab"); return s.Append(L"cdefgh"); }, diag::kOk, L"abcdefgh"},
    {"append char", [](CMyTCString& s) { s.Assign(L"ab"); return s.AppendChar(L'\\'); }, diag::kOk, L"ab\\"},
    {"append char to absent", [](CMyTCString& s) { return s.AppendChar(L'z'); }, diag::kOk, L"z"},
    {"reserve below one", [](CMyTCString& s) { s.Assign(L"keep"); return s.Reserve(0); }, diag::kBadSize, L"keep"},
    {"reserve within capacity clears", [](CMyTCString& s) { s.Assign(L"abcdef"); return s.Reserve(2); }, diag::kOk, L""},
    {"grow below one", [](CMyTCString& s) { s.Assign(L"ab"); return s.Grow(0); }, diag::kBadGrowSize, L"ab"},
    {"grow keeps content", [](CMyTCString& s) { s.Assign(L"ab"); return s.Grow(100); }, diag::kOk, L"ab"},
    {"grow without buffer", [](CMyTCString& s) { return s.Grow(4); }, diag::kOk, L""},
    {"reset", [](CMyTCString& s) { s.Assign(L"abc"); return s.Reset(); }, diag::kOk, L""},
    {"truncate", [](CMyTCString& s) { s.Assign(L"abcdef"); return s.Truncate(2); }, 2, L"ab"},
    {"truncate beyond", [](CMyTCString& s) { s.Assign(L"abc"); return s.Truncate(9); }, 9, L"abc"},
    {"truncate negative", [](CMyTCString& s) { s.Assign(L"abc"); return s.Truncate(-1); }, -1, L"abc"},
    {"truncate absent", [](CMyTCString& s) { return s.Truncate(3); }, diag::kOk, L""},
    {"clear", [](CMyTCString& s) { s.Assign(L"abc"); return s.Clear(); }, diag::kOk, nullptr},
    {"assign own text", [](CMyTCString& s) { s.Assign(L"self"); return s.Assign(s.Get()); }, diag::kOk, L"self"},
    {"append own text", [](CMyTCString& s) { s.Assign(L"ab"); return s.Append(s.Get()); }, diag::kOk, L"abab"},
    {"append own tail", [](CMyTCString& s) { s.Assign(L"abcd"); return s.Append(s.Get() + 2); }, diag::kOk, L"abcdcd"},
};

TEST(CMyTCString, Operations) {
  for (const Op& op : kOps) {
    CMyTCString s;
    EXPECT_EQ(op.result, op.run(s)) << op.what;
    if (op.after) {
      ASSERT_TRUE(s.IsPresent()) << op.what;
      EXPECT_STREQ(op.after, s.Get()) << op.what;
      EXPECT_LT(s.Length(), s.Capacity()) << op.what;
    } else {
      EXPECT_FALSE(s.IsPresent()) << op.what;
    }
  }
}

TEST(CMyTCString, CompareEndsWithFind) {
  CMyTCString s(L"Trace");
  EXPECT_EQ(0, s.Compare(L"Trace", false));
  EXPECT_EQ(1, s.Compare(L"TRACE", false));
  EXPECT_EQ(-1, s.Compare(L"trace", false));
  EXPECT_EQ(0, s.Compare(L"TRACE", true));
  EXPECT_EQ(INT_MAX, s.Compare(nullptr, true));
  EXPECT_TRUE(s.EndsWith(L'e'));
  EXPECT_FALSE(s.EndsWith(L'T'));
  EXPECT_EQ(2, s.Find(L'a'));
  EXPECT_EQ(-1, s.Find(L'z'));
  EXPECT_EQ(-1, s.Find(L'\0'));
  CMyTCString empty(L"");
  EXPECT_FALSE(empty.EndsWith(L'\0'));
}

TEST(CMyTCString, CopiesAreIndependentAndAbsentCopiesChangeNothing) {
  CMyTCString a(L"one");
  CMyTCString b(a);
  a.Assign(L"two");
  EXPECT_STREQ(L"one", b.Get());
  CMyTCString absent;
  b = absent;
  EXPECT_STREQ(L"one", b.Get());
  b = b;
  EXPECT_STREQ(L"one", b.Get());
}

TEST(CMyTCString, InstancesAreCounted) {
  long before = CInstanceCounter::LiveInstances();
  {
    CMyTCString a, b(L"x");
    CMyTCString c(b);
    EXPECT_EQ(before + 3, CInstanceCounter::LiveInstances());
  }
  EXPECT_EQ(before, CInstanceCounter::LiveInstances());
}

}  // namespace
