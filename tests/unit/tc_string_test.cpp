#include "diag/tc_string.h"
#include <gtest/gtest.h>
TEST(X, Y) { CMyTCString s(L"a"); EXPECT_EQ(1, s.Length()); }
