// CMyRegItem against the real registry of the test's own prefix.
#include "diag/reg_item.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/settings.h"

namespace {

const wchar_t kTestKey[] = L"SOFTWARE\\TessarnTest\\RegItem";

class RegItemTest : public ::testing::Test {
 protected:
  void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, kTestKey); }
  void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, kTestKey); }
  void Store(const wchar_t* name, DWORD type, const void* data, DWORD bytes) {
    ASSERT_TRUE(WriteRegistryValue(HKEY_CURRENT_USER, kTestKey, name, type, data, bytes)) << name;
  }
  void StoreText(const wchar_t* name, DWORD type, const std::wstring& text) {
    Store(name, type, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  }
  bool Query(const wchar_t* name, DWORD* type, std::wstring* text, DWORD* bytes) {
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kTestKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    wchar_t buf[1024] = {};
    DWORD size = sizeof(buf) - 2;
    LONG rc = RegQueryValueExW(key, name, nullptr, type, reinterpret_cast<BYTE*>(buf), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) return false;
    *text = buf;
    *bytes = size;
    return true;
  }
};

TEST_F(RegItemTest, MissingKeyIsCreatedWithTheDefaults) {
  CMyRegItem level(HKEY_CURRENT_USER, kTestKey, L"LogLevel", L"TRACE");
  CMyRegItem dir(HKEY_CURRENT_USER, kTestKey, L"LogDir", L"");
  EXPECT_STREQ(L"TRACE", level.Text());
  EXPECT_STREQ(L"", dir.Text());
  DWORD type = 0, bytes = 0;
  std::wstring text;
  ASSERT_TRUE(Query(L"LogLevel", &type, &text, &bytes));
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
  EXPECT_EQ(L"TRACE", text);
  EXPECT_EQ(12u, bytes);
  ASSERT_TRUE(Query(L"LogDir", &type, &text, &bytes));
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
  EXPECT_EQ(2u, bytes);
}

TEST_F(RegItemTest, ProcessWideSettingsWereCreatedAtLoad) {
  HKEY key;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, L"SOFTWARE\\Zorv\\Tessarn", 0, KEY_READ, &key));
  wchar_t buf[64];
  DWORD size = sizeof(buf), type = 0;
  ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(key, L"LogLevel", nullptr, &type, reinterpret_cast<BYTE*>(buf), &size));
  EXPECT_EQ(12u, size);
  EXPECT_STREQ(L"TRACE", buf);
  size = sizeof(buf);
  ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(key, L"LogDir", nullptr, &type, reinterpret_cast<BYTE*>(buf), &size));
  EXPECT_EQ(2u, size);
  RegCloseKey(key);
}

TEST_F(RegItemTest, ExistingValuesAreReadAsTheirType) {
  DWORD four = 4;
  Store(L"Dword", REG_DWORD, &four, sizeof(four));
  DWORD big = 4000000000u;
  Store(L"BigDword", REG_DWORD, &big, sizeof(big));
  StoreText(L"Expand", REG_EXPAND_SZ, L"%TEMP%\\logs");
  StoreText(L"Dir", REG_SZ, L"C:\\logs");
  StoreText(L"Numeric", REG_SZ, L" 12 apples");
  BYTE binary[] = {1, 2, 3};
  Store(L"Binary", REG_BINARY, binary, sizeof(binary));
  Store(L"Multi", REG_MULTI_SZ, L"a\0b\0", 10);
  struct {
    const wchar_t* name;
    const wchar_t* text;
    long number;
    DWORD type;
  } cases[] = {
      {L"Dword", L"4", 4, REG_DWORD},
      {L"BigDword", L"4000000000", static_cast<long>(4000000000u), REG_DWORD},
      {L"Expand", L"%TEMP%\\logs", 0, REG_EXPAND_SZ},
      {L"Dir", L"C:\\logs", 0, REG_SZ},
      {L"Numeric", L" 12 apples", 12, REG_SZ},
      {L"Binary", L"", 0, REG_BINARY},
      {L"Multi", L"", 0, REG_MULTI_SZ},
  };
  for (const auto& c : cases) {
    CMyRegItem item(HKEY_CURRENT_USER, kTestKey, c.name, L"default");
    EXPECT_STREQ(c.text, item.Text()) << c.name;
    EXPECT_EQ(c.number, item.Number()) << c.name;
    EXPECT_EQ(c.type, item.Type()) << c.name;
  }
  // Reading changed nothing in the registry.
  DWORD type = 0, bytes = 0;
  std::wstring text;
  ASSERT_TRUE(Query(L"Multi", &type, &text, &bytes));
  EXPECT_EQ(static_cast<DWORD>(REG_MULTI_SZ), type);
}

TEST_F(RegItemTest, LongestReadableStringIs129Characters) {
  std::wstring fits(129, L'a'), tooLong(130, L'b');
  StoreText(L"Fits", REG_SZ, fits);
  StoreText(L"TooLong", REG_SZ, tooLong);
  CMyRegItem ok(HKEY_CURRENT_USER, kTestKey, L"Fits", L"default");
  EXPECT_EQ(fits, ok.Text());
  CMyRegItem failed(HKEY_CURRENT_USER, kTestKey, L"TooLong", L"default");
  EXPECT_STREQ(L"default", failed.Text());
  // The unreadable value is kept, never overwritten by the default.
  DWORD type = 0, bytes = 0;
  std::wstring text;
  ASSERT_TRUE(Query(L"TooLong", &type, &text, &bytes));
  EXPECT_EQ(tooLong, text);
}

TEST_F(RegItemTest, WriteWithNullChangesNothing) {
  StoreText(L"Value", REG_SZ, L"12");
  CMyRegItem item(HKEY_CURRENT_USER, kTestKey, L"Value", L"default");
  EXPECT_FALSE(item.Write(nullptr));
  EXPECT_STREQ(L"12", item.Text());
  EXPECT_EQ(12, item.Number());
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), item.Type());
}

TEST_F(RegItemTest, WriteKeepsTheValuesType) {
  DWORD one = 1;
  Store(L"Dword", REG_DWORD, &one, sizeof(one));
  CMyRegItem item(HKEY_CURRENT_USER, kTestKey, L"Dword", L"0");
  ASSERT_TRUE(item.Write(L"77"));
  DWORD value = 0, size = sizeof(value), type = 0;
  HKEY key;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, kTestKey, 0, KEY_READ, &key));
  ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(key, L"Dword", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size));
  RegCloseKey(key);
  EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
  EXPECT_EQ(77u, value);
  // An unsupported type is not stored, but the item holds the new text.
  BYTE binary[] = {9};
  Store(L"Binary", REG_BINARY, binary, 1);
  CMyRegItem bin(HKEY_CURRENT_USER, kTestKey, L"Binary", L"x");
  EXPECT_FALSE(bin.Write(L"5"));
  EXPECT_STREQ(L"5", bin.Text());
}

TEST(RegItemRootName, Names) {
  EXPECT_STREQ(L"HKLM", CMyRegItem::RootName(HKEY_LOCAL_MACHINE));
  EXPECT_STREQ(L"HKCU", CMyRegItem::RootName(HKEY_CURRENT_USER));
  EXPECT_STREQ(L"HKCR", CMyRegItem::RootName(HKEY_CLASSES_ROOT));
  EXPECT_STREQ(L"????", CMyRegItem::RootName(HKEY_USERS));
}

}  // namespace
