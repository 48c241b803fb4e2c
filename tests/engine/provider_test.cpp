// The system provider's start-up: the default key container created on
// first use, and the fallback when providers are missing. The cases run in
// order in one prefix, each removing one more provider.
#include <gtest/gtest.h>

#include "engine/crypt_system.h"
#include "tests/engine/log_capture.h"

namespace {

const wchar_t kProviders[] = L"SOFTWARE\\Microsoft\\Cryptography\\Defaults\\Provider\\";

void RemoveProvider(const wchar_t* name) {
  std::wstring key = std::wstring(kProviders) + name;
  LONG rc = RegDeleteTreeW(HKEY_LOCAL_MACHINE, key.c_str());
  ASSERT_TRUE(rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND) << rc;
}

TEST(SystemProvider, FirstUseCreatesTheDefaultContainerWithoutAnError) {
  LogCapture log;
  CCryptSystem system;
  ASSERT_EQ(rc::kOk, system.Init());
  EXPECT_TRUE(system.IsInitialized());
  EXPECT_TRUE(log.Has("T):0 (rsa aes provider)- CCryptSystem:Init finished"));
  EXPECT_TRUE(log.Has("T):0 (rsa aes provider)- provider: Microsoft Enhanced RSA and AES Cryptographic Provider"));
  EXPECT_TRUE(log.Has("T):0 (rsa aes provider)- providertype: 24"));
  EXPECT_TRUE(log.Has("T):0 - CCryptSystem:Init finished"));
  EXPECT_FALSE(log.Has(",T:E)")) << log.Text();
  EXPECT_FALSE(log.Has("1 (rsa aes provider)")) << "no other provider is tried";
  system.Close();
  EXPECT_TRUE(log.Has("D):The context has been released."));
  EXPECT_FALSE(system.IsInitialized());
}

TEST(SystemProvider, FallsBackToTheBaseProvider) {
  RemoveProvider(L"Microsoft Enhanced RSA and AES Cryptographic Provider");
  RemoveProvider(L"Microsoft Enhanced RSA and AES Cryptographic Provider (Prototype)");
  LogCapture log;
  CCryptSystem system;
  ASSERT_EQ(rc::kOk, system.Init());
  // A provider that is not installed answers NTE_KEYSET_NOT_DEF, which for
  // the AES providers also leads to the retry with CRYPT_NEWKEYSET.
  EXPECT_TRUE(log.Has("E):0 OF 2 - Can't acquire new context, error code [80090019]")) << log.Text();
  EXPECT_TRUE(log.Has("E):1 OF 2 - Can't acquire new context, error code [80090019]"));
  EXPECT_TRUE(log.Has("T):2 (ms base provider)- CCryptSystem:Init finished"));
  EXPECT_TRUE(log.Has("T):2 (rsa aes provider)- provider: Microsoft Base Cryptographic Provider v1.0"));
  EXPECT_TRUE(log.Has("T):2 (rsa aes provider)- providertype: 1"));
  EXPECT_TRUE(log.Has("T):2 - CCryptSystem:Init finished"));
  system.Close();
}

TEST(SystemProvider, NoProviderAtAll) {
  RemoveProvider(L"Microsoft Base Cryptographic Provider v1.0");
  LogCapture log;
  CCryptSystem system;
  EXPECT_EQ(rc::kContextNotAcquired, system.Init());
  EXPECT_FALSE(system.IsInitialized());
  // The base provider retries only on NTE_BAD_KEYSET.
  EXPECT_TRUE(log.Has("E):2 of 2 - Can't acquire context, error code [80090019]")) << log.Text();
  EXPECT_TRUE(log.Has("E):NONE 2 of 2 - Can't acquire context, error code ["));
  system.Close();
  EXPECT_FALSE(log.Has("The context has been released.")) << "nothing to release";
}

}  // namespace
