#include "certutil/der_text.h"

#include <cstdlib>

#include "certutil/alt_name_decoder.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

using norelCertInfoUtl::OidToDotted;
using norelCertInfoUtl::RenderDer;

namespace {

TEST(OidToDotted, KnownIdentifiers) {
  const uint8_t upn[] = {0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37, 0x14, 0x02, 0x03};
  EXPECT_EQ(L"1.3.6.1.4.1.311.20.2.3", OidToDotted(upn, sizeof(upn)));
  const uint8_t san[] = {0x55, 0x1D, 0x11};
  EXPECT_EQ(L"2.5.29.17", OidToDotted(san, sizeof(san)));
  const uint8_t truncated[] = {0x2B, 0x86};
  EXPECT_EQ(L"", OidToDotted(truncated, sizeof(truncated)));
  EXPECT_EQ(L"", OidToDotted(nullptr, 0));
}

TEST(RenderDer, AlternativeNameWithAnOtherName) {
  // SEQUENCE { [0] { OID 1.3.6.1.4.1.311.20.2.3, [0] { UTF8String "a@b" } } }
  const uint8_t der[] = {0x30, 0x15, 0xA0, 0x13, 0x06, 0x0A, 0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37,
                         0x14, 0x02, 0x03, 0xA0, 0x05, 0x0C, 0x03, 'a',  '@',  'b'};
  EXPECT_EQ(L"{{1.3.6.1.4.1.311.20.2.3, {a@b}}}", RenderDer(der, sizeof(der)));
}

TEST(RenderDer, DamagedInputEndsWithAMark) {
  const uint8_t overlong[] = {0x30, 0x10, 0x06, 0x03, 0x55, 0x1D, 0x11};
  EXPECT_EQ(L"?", RenderDer(overlong, sizeof(overlong)));
  const uint8_t partial[] = {0x06, 0x03, 0x55, 0x1D, 0x11, 0x04};
  EXPECT_EQ(L"2.5.29.17, ?", RenderDer(partial, sizeof(partial)));
  EXPECT_EQ(L"", RenderDer(nullptr, 0));
}

TEST(RenderDer, DeepNestingIsBounded) {
  std::vector<uint8_t> deep;
  for (int i = 0; i < 100; ++i) {
    deep.insert(deep.begin(), static_cast<uint8_t>(deep.size()));
    deep.insert(deep.begin(), 0x30);
    if (deep.size() > 120) break;
  }
  std::wstring text = RenderDer(deep.data(), deep.size());
  EXPECT_FALSE(text.empty());
}

// Random bytes never make it read out of bounds (run under Wine's heap
// checks; a sanitizer build would catch more).
TEST(RenderDer, RandomInputIsSafe) {
  std::mt19937 random(1234);
  for (int round = 0; round < 2000; ++round) {
    std::vector<uint8_t> bytes(random() % 64);
    for (auto& b : bytes) b = static_cast<uint8_t>(random());
    if (!bytes.empty() && round % 2) bytes[0] = 0x30;
    RenderDer(bytes.data(), bytes.size());
  }
}

}  // namespace

namespace {

TEST(DecodeAltNameFallback, EntriesAndRefusals) {
  // SEQUENCE { [0] { OID 1.3.6.1.4.1.311.20.2.3, [0] { UTF8 "a@b" } }, [2] "x.cz", [7] 01020304 }
  const BYTE der[] = {0x30, 0x21, 0xA0, 0x13, 0x06, 0x0A, 0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37,
                      0x14, 0x02, 0x03, 0xA0, 0x05, 0x0C, 0x03, 'a',  '@',  'b',  0x82, 0x04, 'x',
                      '.',  'c',  'z',  0x87, 0x04, 1,    2,    3,    4};
  CERT_ALT_NAME_INFO* info = norelCertInfoUtl::DecodeAltNameFallback(der, sizeof(der));
  ASSERT_TRUE(info);
  ASSERT_EQ(3u, info->cAltEntry);
  EXPECT_EQ(static_cast<DWORD>(CERT_ALT_NAME_OTHER_NAME), info->rgAltEntry[0].dwAltNameChoice);
  EXPECT_STREQ("1.3.6.1.4.1.311.20.2.3", info->rgAltEntry[0].pOtherName->pszObjId);
  EXPECT_EQ(5u, info->rgAltEntry[0].pOtherName->Value.cbData);
  EXPECT_EQ(static_cast<DWORD>(CERT_ALT_NAME_DNS_NAME), info->rgAltEntry[1].dwAltNameChoice);
  EXPECT_STREQ(L"x.cz", info->rgAltEntry[1].pwszDNSName);
  EXPECT_EQ(static_cast<DWORD>(CERT_ALT_NAME_IP_ADDRESS), info->rgAltEntry[2].dwAltNameChoice);
  EXPECT_EQ(4u, info->rgAltEntry[2].IPAddress.cbData);
  free(info);
  EXPECT_EQ(nullptr, norelCertInfoUtl::DecodeAltNameFallback(der, sizeof(der) - 1));
  EXPECT_EQ(nullptr, norelCertInfoUtl::DecodeAltNameFallback(nullptr, 0));
}

TEST(DecodeAltNameFallback, RandomInputIsSafe) {
  std::mt19937 random(99);
  for (int round = 0; round < 3000; ++round) {
    std::vector<uint8_t> bytes(2 + random() % 48);
    for (auto& b : bytes) b = static_cast<uint8_t>(random());
    bytes[0] = 0x30;
    bytes[1] = static_cast<uint8_t>(bytes.size() - 2);
    free(norelCertInfoUtl::DecodeAltNameFallback(bytes.data(), static_cast<DWORD>(bytes.size())));
  }
}

}  // namespace
