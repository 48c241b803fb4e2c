// Chain validation with the test PKI's root trusted in the prefix's own
// stores.
#include "certutil/chain.h"

#include <gtest/gtest.h>

#include "tests/certutil/pki.h"

using namespace norelCertInfoUtl;

namespace {

TEST(ChainStatusVerdict, ExactValuesOnly) {
  struct {
    DWORD status;
    ResultCode code;
    bool line;
  } cases[] = {
      {0x0, 0, true},         {0x1, 20, true},        {0x2, 21, true},        {0x4, 22, true},
      {0x8, 23, true},        {0x10, 24, true},       {0x20, 25, true},       {0x40, 26, true},
      {0x80, 27, true},       {0x10000, 28, true},    {0x20000, 29, true},    {0x40000, 30, true},
      {0x80000, 31, true},    {0x21, 42, false},      {0x100, 42, false},     {0x10020, 42, false},
      {0xFFFFFFFF, 42, false}, {0x01000000, 42, false},
  };
  for (const auto& c : cases) {
    ChainVerdict v = ChainStatusVerdict(c.status);
    EXPECT_EQ(c.code, v.code) << std::hex << c.status;
    EXPECT_EQ(c.line, v.line != nullptr) << std::hex << c.status;
  }
  EXPECT_EQ(L'D', ChainStatusVerdict(0).level);
  EXPECT_EQ(L'E', ChainStatusVerdict(0x20).level);
}

class Chain : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_TRUE(AddToStore(L"Root", L"root"));
    ASSERT_TRUE(AddToStore(L"CA", L"ca"));
  }
  ResultCode Validate(const wchar_t* name) {
    PCCERT_CONTEXT cert = PkiCert(name);
    EXPECT_TRUE(cert) << name;
    ResultCode code = nrlCertChainIsValid(cert);
    CertFreeCertificateContext(cert);
    return code;
  }
};

TEST_F(Chain, Verdicts) {
  EXPECT_EQ(rc::kOk, Validate(L"full"));
  EXPECT_EQ(rc::kOk, Validate(L"root"));
  EXPECT_EQ(rc::kNotTimeValid, Validate(L"expired"));
  EXPECT_EQ(rc::kUntrustedRoot, Validate(L"selfsigned"));
  EXPECT_EQ(rc::kChainMultipleFaults, Validate(L"expiredself"));
  EXPECT_EQ(rc::kPartialChain, Validate(L"orphan"));
}

}  // namespace
