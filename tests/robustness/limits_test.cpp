// What a page can make the registered module do with sizes: convert more
// than a call takes, trust a size the platform misreports, or fill the log
// from an origin the site lock refuses. Each group runs in a process (and
// Wine prefix) of its own.
#include <gtest/gtest.h>
#include <windows.h>
#include <wincrypt.h>

#include <algorithm>
#include <string>
#include <vector>

#include "certutil/result_code.h"
#include "tests/com/test_support.h"
#include "tests/host/page_site.h"
#include "tests/robustness/import_patch.h"
#include "tests/robustness/log_files.h"
#include "tests/support/dispids.h"

using namespace testing_support;

namespace {

// The limits as docs/methods.md and docs/logging.md give them.
constexpr ULONG kMaxEncodeBytes = 67108864;
constexpr size_t kMaxDecodeChars = 67108864;
constexpr ULONGLONG kMaxDayFileBytes = 33554432;
const char kDayLimitText[] = "Log file size limit of 33554432 bytes reached: nothing more is written to this file today.";

long CodeOf(IDispatch* control, DISPID id, std::vector<VARIANT> args) {
  ScopedVariant r;
  EXPECT_EQ(S_OK, Call(control, id, std::move(args), r.Get())) << "DISPID " << id;
  return AnswerCode(*r.Get());
}

VARIANT ByteArray(ULONG count, BYTE fill) {
  VARIANT v;
  VariantInit(&v);
  SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, count);
  if (!array) return v;
  memset(array->pvData, fill, count);
  V_VT(&v) = VT_ARRAY | VT_UI1;
  V_ARRAY(&v) = array;
  return v;
}

// ---- Conversion sizes ----------------------------------------------------

class ConversionLimits : public ::testing::Test {
 protected:
  void SetUp() override {
    control = CreateControl();
    ASSERT_TRUE(control);
  }
  ComScope com;
  ComPtr<IDispatch> control;
};

// The size that made the platform's base64 encoder under Wine ask for far
// too little room (450,000,000 bytes: 14,770,233 characters) and write past
// it: the control refuses it before the encoder sees it, from a real byte
// array of that size, in every text form.
TEST_F(ConversionLimits, BinaryToStringRefusesWhatItDoesNotEncode) {
  const ULONG attack = 450000000;
  VARIANT bytes = ByteArray(attack, 0x41);
  ASSERT_EQ(VT_ARRAY | VT_UI1, V_VT(&bytes)) << "no memory for the test's array";
  for (long flag : {0x1L, 0x40000001L, 0x4L, 0xBL}) {
    SCOPED_TRACE(flag);
    VARIANT passed = ByteArrayByRef(&bytes, false);
    ScopedVariant r;
    ASSERT_EQ(S_OK, Call(control.Get(), dispid::kBinaryToString, {passed, I4(static_cast<long>(attack)), I4(flag)},
                         r.Get()));
    long code = -1;
    std::vector<std::wstring> texts = AnswerTexts(*r.Get(), &code);
    EXPECT_EQ(rc::kInputTooLarge, code);
    ASSERT_EQ(1u, texts.size());
    EXPECT_TRUE(texts[0].empty());
  }
  // One past the limit is refused, the limit itself is not.
  {
    VARIANT passed = ByteArrayByRef(&bytes, false);
    EXPECT_EQ(rc::kInputTooLarge, CodeOf(control.Get(), dispid::kBinaryToString,
                                         {passed, I4(static_cast<long>(kMaxEncodeBytes + 1)), I4(0x40000001)}));
  }
  VariantClear(&bytes);
  VARIANT limit = ByteArray(kMaxEncodeBytes, 0x42);
  ASSERT_EQ(VT_ARRAY | VT_UI1, V_VT(&limit));
  long atLimit = CodeOf(control.Get(), dispid::kBinaryToString,
                        {limit, I4(static_cast<long>(kMaxEncodeBytes)), I4(0x40000001)});
  EXPECT_TRUE(atLimit == rc::kOk || atLimit == rc::kNoMemory) << atLimit;
  EXPECT_TRUE(StillAnswers(control.Get()));
}

TEST_F(ConversionLimits, StringToBinaryRefusesWhatItDoesNotDecode) {
  std::wstring text(kMaxDecodeChars + 1, L'A');
  VARIANT arg;
  VariantInit(&arg);
  V_VT(&arg) = VT_BSTR;
  V_BSTR(&arg) = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  ASSERT_NE(nullptr, V_BSTR(&arg));
  text.clear();
  text.shrink_to_fit();
  EXPECT_EQ(rc::kInputTooLarge, CodeOf(control.Get(), dispid::kStringToBinary, {arg, I4(1)}));
  EXPECT_TRUE(StillAnswers(control.Get()));
}

// The platform's reported sizes, made to lie: a size the bytes cannot give
// (too small, as Wine's overflowing arithmetic gives, or absurdly large) is
// refused before anything is allocated or written. The lying encoder then
// writes its whole text whatever room it is given, as Wine's does.
enum class Lie { kTooSmall, kTooLarge };
Lie g_lie = Lie::kTooSmall;
int g_sizeCalls = 0, g_writeCalls = 0;

BOOL WINAPI LyingBinaryToString(const BYTE* bytes, DWORD length, DWORD flags, LPWSTR text, DWORD* count) {
  DWORD real = 0;
  if (!CryptBinaryToStringW(bytes, length, flags, nullptr, &real)) return FALSE;
  if (!text) {
    ++g_sizeCalls;
    *count = g_lie == Lie::kTooSmall ? 10 : 0xFFFFFFF0u;
    return TRUE;
  }
  ++g_writeCalls;
  return CryptBinaryToStringW(bytes, length, flags, text, &real);
}

BOOL WINAPI LyingStringToBinary(LPCWSTR text, DWORD chars, DWORD flags, BYTE* bytes, DWORD* count, DWORD* skip,
                                DWORD* used) {
  if (!bytes) {
    ++g_sizeCalls;
    *count = g_lie == Lie::kTooSmall ? 1 : 0xFFFFFFF0u;
    return TRUE;
  }
  ++g_writeCalls;
  return CryptStringToBinaryW(text, chars, flags, bytes, count, skip, used);
}

TEST_F(ConversionLimits, SizesThePlatformReportsAreChecked) {
  HMODULE module = GetModuleHandleW(L"Tessarn.ocx");
  ASSERT_TRUE(module);
  ImportPatch encoder(module, "crypt32.dll", "CryptBinaryToStringW", reinterpret_cast<void*>(&LyingBinaryToString));
  ImportPatch decoder(module, "crypt32.dll", "CryptStringToBinaryW", reinterpret_cast<void*>(&LyingStringToBinary));
  ASSERT_TRUE(encoder.Applied());
  ASSERT_TRUE(decoder.Applied());
  for (Lie lie : {Lie::kTooSmall, Lie::kTooLarge}) {
    SCOPED_TRACE(lie == Lie::kTooSmall ? "too small" : "too large");
    g_lie = lie;
    g_sizeCalls = g_writeCalls = 0;
    VARIANT bytes = ByteArray(100000, 0x5A);
    EXPECT_EQ(rc::kEncodeFailed, CodeOf(control.Get(), dispid::kBinaryToString, {bytes, I4(100000), I4(1)}));
    EXPECT_EQ(1, g_sizeCalls);
    EXPECT_EQ(0, g_writeCalls) << "nothing written after a size the bytes cannot give";
    std::wstring text(40000, L'Q');
    g_sizeCalls = g_writeCalls = 0;
    long decoded = CodeOf(control.Get(), dispid::kStringToBinary, {Bstr(text.c_str()), I4(1)});
    EXPECT_EQ(1, g_sizeCalls);
    if (lie == Lie::kTooLarge) {
      EXPECT_EQ(rc::kDecodeFailed, decoded);
      EXPECT_EQ(0, g_writeCalls);
    } else {
      // Too small does no harm here: the block is sized from the text.
      EXPECT_EQ(rc::kOk, decoded);
    }
  }
  EXPECT_TRUE(StillAnswers(control.Get()));
}

// ---- The log -------------------------------------------------------------

const wchar_t kPolicyKey[] = L"SOFTWARE\\Policies\\Zorv\\Tessarn";

bool WritePolicyList(const wchar_t* name, const std::wstring& multi) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kPolicyKey, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    return false;
  LONG rv = RegSetValueExW(key, name, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(multi.c_str()),
                           static_cast<DWORD>((multi.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  return rv == ERROR_SUCCESS;
}

std::wstring TodaysDirLog() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  wchar_t name[64];
  swprintf(name, 64, L"\\tessarn.%02d%02d%02d.log", now.wYear % 100, now.wMonth, now.wDay);
  return robustness::TempDir() + L"\\tessarn-logdir" + name;
}

ULONGLONG SizeOf(const std::wstring& file) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &data)) return 0;
  return (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

class LogBounds : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // Every message of every level goes to the directory log.
    ASSERT_TRUE(robustness::PointLogDirAtFreshFolder());
    ASSERT_TRUE(WritePolicyList(L"DeniedOrigins", std::wstring(L"https://refused.example") + L'\0'));
  }
  void SetUp() override {
    control = CreateControl();
    ASSERT_TRUE(control);
    PageOptions page;
    page.document = true;
    page.documentUrl = L"https://refused.example/fill.html";
    ASSERT_TRUE(SiteControl(control.Get(), page));
  }
  ComScope com;
  ComPtr<IDispatch> control;
};

// A refused page hands StringToBinary a million non-Latin characters: the
// log takes a bounded part of them and says how much it left out; a gated
// call writes one line.
TEST_F(LogBounds, RefusedPageCannotFillTheLog) {
  std::wstring file = TodaysDirLog();
  EXPECT_EQ(rc::kAccessDenied, CodeOf(control.Get(), dispid::kCertEnum, {I4(0)}));
  ULONGLONG before = SizeOf(file);
  ASSERT_GT(before, 0u) << "the directory log is written";
  std::wstring text(1000000, L'\x0416');
  long code = CodeOf(control.Get(), dispid::kStringToBinary, {Bstr(text.c_str()), I4(1)});
  EXPECT_EQ(rc::kDecodeFailed, code);
  ULONGLONG written = SizeOf(file) - before;
  EXPECT_LT(written, 64u * 1024) << "bytes the call wrote into the log";
  std::string log = robustness::ReadAll(file);
  EXPECT_NE(std::string::npos, log.find(" more characters]"));
  ULONGLONG beforeRefused = SizeOf(file);
  EXPECT_EQ(rc::kAccessDenied, CodeOf(control.Get(), dispid::kCertLookup, {Bstr(text.c_str()), I4(0), Bstr(L"")}));
  std::string refused = robustness::ReadAll(file).substr(static_cast<size_t>(beforeRefused));
  EXPECT_EQ(1u, static_cast<size_t>(std::count(refused.begin(), refused.end(), '\n'))) << refused;
  EXPECT_LT(refused.size(), 200u) << refused;
}

// A day's file near its limit: the next entry that would pass the limit
// becomes the limit line, and nothing more is written that day.
TEST_F(LogBounds, DayLimitStopsTheLogWithOneLine) {
  std::wstring file = TodaysDirLog();
  {
    HANDLE h = CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(kMaxDayFileBytes - 512 - 4000);
    ASSERT_TRUE(SetFilePointerEx(h, end, nullptr, FILE_BEGIN));
    ASSERT_TRUE(SetEndOfFile(h));
    CloseHandle(h);
  }
  for (int i = 0; i < 200; ++i) EXPECT_TRUE(StillAnswers(control.Get()));
  ULONGLONG size = SizeOf(file);
  EXPECT_LE(size, kMaxDayFileBytes);
  std::string log = robustness::ReadAll(file);
  std::string limit = kDayLimitText;
  ASSERT_GE(log.size(), limit.size());
  EXPECT_EQ(limit, log.substr(log.size() - limit.size())) << "the file ends with the limit line";
  EXPECT_EQ(log.find(limit), log.rfind(limit)) << "written once";
  for (int i = 0; i < 5; ++i) EXPECT_TRUE(StillAnswers(control.Get()));
  EXPECT_EQ(size, SizeOf(file)) << "nothing more that day";
}

// ---- Policy wildcards ----------------------------------------------------

bool WritePolicyNumber(const wchar_t* name, DWORD value) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kPolicyKey, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    return false;
  LONG rv = RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
  RegCloseKey(key);
  return rv == ERROR_SUCCESS;
}

// A policy that allows "*.com" or "*.co.uk" allows nobody through them: the
// entries are ignored with a WARNING naming them, and the entries beside
// them still hold.
TEST(PolicyWildcards, WildcardsOverPublicSuffixesAreIgnored) {
  ComScope com;
  ASSERT_TRUE(robustness::PointLogDirAtFreshFolder());
  std::wstring list = L"https://*.com";
  list += L'\0';
  list += L"https://*.co.uk";
  list += L'\0';
  list += L"https://*.ck";
  list += L'\0';
  list += L"https://*.example.com";
  list += L'\0';
  ASSERT_TRUE(WritePolicyList(L"AllowedOrigins", list));
  ASSERT_TRUE(WritePolicyNumber(L"Prompt", 0));  // refused without a question
  struct Case {
    const wchar_t* url;
    bool allowed;
  } cases[] = {
      {L"https://evil.com/", false},
      {L"https://shop.evil.co.uk/", false},
      {L"https://a.b.ck/", false},
      {L"https://sign.example.com/", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(c.url)));
    ComPtr<IDispatch> control = CreateControl();
    ASSERT_TRUE(control);
    PageOptions page;
    page.document = true;
    page.documentUrl = c.url;
    ASSERT_TRUE(SiteControl(control.Get(), page));
    long code = CodeOf(control.Get(), dispid::kCertEnum, {I4(0)});
    if (c.allowed) {
      EXPECT_NE(rc::kAccessDenied, code);
    } else {
      EXPECT_EQ(rc::kAccessDenied, code);
    }
  }
  std::string log = robustness::ReadAll(TodaysDirLog());
  for (const char* entry : {"https://*.com", "https://*.co.uk", "https://*.ck"}) {
    EXPECT_NE(std::string::npos, log.find(std::string("W:CSiteLock: entry [") + entry +
                                          "] of policy AllowedOrigins ignored: a wildcard over a public suffix"))
        << entry << " in " << log.substr(0, 2000);
  }
  EXPECT_EQ(std::string::npos, log.find("entry [https://*.example.com]"));
}

}  // namespace
