// Every result code's text in both string tables, chosen by the calling
// thread's user-interface language.
#include <gtest/gtest.h>

#include "control/result_codes.h"
#include "framework/module.h"
#include "tests/com/test_support.h"

namespace {

struct Expected {
  ResultCode code;
  UINT id;
  const wchar_t* english;
  const wchar_t* czech;
};
const Expected kTexts[] = {
#include "tests/com/expected_result_texts.inc"
};

class ResultTexts : public ::testing::Test {
 protected:
  void SetUp() override {
    module = LoadLibraryExW(testing_support::ModulePath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(module);
    // Resources are read from the module's own instance handle.
    framework::SetModuleInstance(reinterpret_cast<HINSTANCE>(module));
    savedLanguage = GetThreadUILanguage();
  }
  void TearDown() override {
    SetThreadUILanguage(savedLanguage);
    FreeLibrary(module);
  }
  HMODULE module = nullptr;
  LANGID savedLanguage = 0;
};

TEST_F(ResultTexts, TableMapsEveryCodeToItsString) {
  ASSERT_EQ(40u, sizeof(kTexts) / sizeof(kTexts[0]));
  for (const Expected& e : kTexts) EXPECT_EQ(e.id, ResultTextId(e.code)) << "code " << e.code;
  for (ResultCode none : {-1, 39, 40, 42, 44, 1000}) EXPECT_EQ(0u, ResultTextId(none)) << none;
}

// The suite runs once per user-interface language (TESSARN_UI_LANGUAGE, a
// LANGID in hex, set for the process's environment as well): the thread's
// language is set here too, which is what decides on Windows.
LANGID ExpectedLanguage() {
  wchar_t buf[16] = {};
  GetEnvironmentVariableW(L"TESSARN_UI_LANGUAGE", buf, 16);
  return buf[0] ? static_cast<LANGID>(wcstoul(buf, nullptr, 16)) : 0x0409;
}

TEST_F(ResultTexts, EveryTextInTheThreadsUserInterfaceLanguage) {
  LANGID language = ExpectedLanguage();
  SetThreadUILanguage(language);
  ASSERT_EQ(language, GetThreadUILanguage()) << "the test environment did not set the language";
  bool czech = PRIMARYLANGID(language) == LANG_CZECH;
  for (const Expected& e : kTexts) {
    SCOPED_TRACE(testing::Message() << "code " << e.code);
    wchar_t text[kResultTextChars];
    EXPECT_TRUE(LoadResultText(e.code, text));
    EXPECT_STREQ(czech ? e.czech : e.english, text) << "code " << e.code;
  }
}

TEST_F(ResultTexts, LongestTextArrivesWhole) {
  wchar_t text[kResultTextChars];
  ASSERT_TRUE(LoadResultText(27, text));
  EXPECT_EQ(PRIMARYLANGID(GetThreadUILanguage()) == LANG_CZECH ? 102u : 121u, wcslen(text));
}

TEST_F(ResultTexts, CodesWithoutTextGiveNone) {
  for (ResultCode code : {39, 42, 44, -5}) {
    wchar_t text[kResultTextChars];
    text[0] = L'x';
    EXPECT_FALSE(LoadResultText(code, text));
    EXPECT_STREQ(L"", text);
  }
}

}  // namespace
