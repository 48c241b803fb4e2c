#include "certutil/der_text.h"

#include <cstdlib>
#include <cwchar>

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

// n SEQUENCEs, each holding the next; the innermost is empty.
std::vector<uint8_t> Nested(int n) {
  std::vector<uint8_t> der = {0x30, 0x00};
  for (int i = 1; i < n; ++i) {
    der.insert(der.begin(), static_cast<uint8_t>(der.size()));
    der.insert(der.begin(), 0x30);
  }
  return der;
}

// The renderer follows 32 levels of constructed values and stops at the
// 33rd with the damage mark.
TEST(RenderDer, DeepNestingIsBounded) {
  EXPECT_EQ(std::wstring(32, L'{') + std::wstring(32, L'}'), RenderDer(Nested(32).data(), Nested(32).size()));
  EXPECT_EQ(std::wstring(32, L'{') + L"?", RenderDer(Nested(33).data(), Nested(33).size()));
}

// What every rendering holds: printable ASCII only, and nothing but the
// damage mark when the first element is damaged.
void ExpectSoundRendering(const std::vector<uint8_t>& der, const std::wstring& text, int round) {
  for (wchar_t c : text)
    ASSERT_TRUE(c >= 0x20 && c < 0x7F) << "round " << round << ": character " << static_cast<unsigned>(c);
  norelCertInfoUtl::DerElement first{};
  if (!der.empty() && !norelCertInfoUtl::ReadDerElement(der.data(), der.size(), &first)) {
    EXPECT_EQ(L"?", text) << "round " << round;
  }
}

// Random bytes never make it read out of bounds (run under Wine's heap
// checks here; fuzz/der_text_fuzzer runs it under the sanitizers).
TEST(RenderDer, RandomInputIsSafe) {
  std::mt19937 random(1234);
  for (int round = 0; round < 2000; ++round) {
    std::vector<uint8_t> bytes(random() % 64);
    for (auto& b : bytes) b = static_cast<uint8_t>(random());
    if (!bytes.empty() && round % 2) bytes[0] = 0x30;
    ExpectSoundRendering(bytes, RenderDer(bytes.data(), bytes.size()), round);
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
    CERT_ALT_NAME_INFO* info = norelCertInfoUtl::DecodeAltNameFallback(bytes.data(), static_cast<DWORD>(bytes.size()));
    if (info) {
      // Every entry takes at least its two header bytes, and no value is
      // longer than the input.
      EXPECT_LE(info->cAltEntry, (bytes.size() - 2) / 2) << "round " << round;
      for (DWORD i = 0; i < info->cAltEntry; ++i) {
        const CERT_ALT_NAME_ENTRY& e = info->rgAltEntry[i];
        EXPECT_TRUE(e.dwAltNameChoice >= 1 && e.dwAltNameChoice <= 32) << "round " << round;
        if (e.dwAltNameChoice == CERT_ALT_NAME_OTHER_NAME) {
          EXPECT_LE(e.pOtherName->Value.cbData, bytes.size()) << "round " << round;
        } else if (e.dwAltNameChoice == CERT_ALT_NAME_RFC822_NAME || e.dwAltNameChoice == CERT_ALT_NAME_DNS_NAME ||
                   e.dwAltNameChoice == CERT_ALT_NAME_URL) {
          EXPECT_LE(wcslen(e.pwszRfc822Name), bytes.size()) << "round " << round;
        } else if (e.dwAltNameChoice != CERT_ALT_NAME_REGISTERED_ID) {
          EXPECT_LE(e.IPAddress.cbData, bytes.size()) << "round " << round;
        }
      }
    }
    free(info);
  }
}

}  // namespace
