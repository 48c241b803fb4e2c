// The size arithmetic of the conversions, platform-free: the bounds at the
// limits, without overflow, for every format number. Built for Windows and
// natively.
#include "certutil/conversion_limits.h"

#include <gtest/gtest.h>

using namespace norelCertInfoUtl;

namespace {

TEST(ConversionLimits, BoundsAtTheLimits) {
  struct Case {
    uint32_t bytes, flags;
    uint64_t least, most;
  } cases[] = {
      {0, 0x40000001, 0, 1},
      {3, 0x40000001, 4, 5},
      {4, 0x40000001, 8, 9},
      {48, 0x1, 64, 64 + 1 + 4},
      {kMaxEncodeBytes, 0x40000001, 89478488, 89478489},
      {kMaxEncodeBytes, 0xB, 2ull * kMaxEncodeBytes, (kMaxEncodeBytes / 16 + 1) * 96 + 1},
      {kMaxEncodeBytes, 0x2, kMaxEncodeBytes / 2, kMaxEncodeBytes + 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.bytes << " bytes, flags 0x" << std::hex << c.flags);
    SizeRange range = EncodedChars(c.bytes, c.flags);
    ASSERT_TRUE(range.known);
    EXPECT_EQ(c.least, range.least);
    EXPECT_EQ(c.most, range.most);
    EXPECT_LT(range.most, 0xFFFFFFFFull) << "fits the platform's count";
  }
  for (uint32_t format = 0; format <= 0xFF; ++format) {
    bool known = format <= 0xD && (format < 6 || format > 8);
    EXPECT_EQ(known, EncodedChars(10, format).known) << format;
  }
  EXPECT_EQ(2ull * kMaxDecodeChars, DecodedBytesMost(kMaxDecodeChars, 0x2u));
  EXPECT_EQ(3ull * kMaxDecodeChars / 4, DecodedBytesMost(kMaxDecodeChars, 0x1u));
  EXPECT_EQ(kMaxDecodeChars / 2, DecodedBytesMost(kMaxDecodeChars, 0xCu));
  EXPECT_EQ(2ull * kMaxDecodeChars, DecodedBytesMost(kMaxDecodeChars, 0x77));
}

}  // namespace
