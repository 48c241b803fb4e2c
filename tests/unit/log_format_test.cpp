#include "diag/log_format.h"
#include <gtest/gtest.h>
TEST(F, Y) { EXPECT_EQ(L"a 5 b", diag::Format(L"a %d %s", 5, L"b")); }
