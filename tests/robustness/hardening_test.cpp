// What a hostile page's callbacks, store names and log text can do to the
// registered module, and what the platform's contract demands where Wine is
// lenient. Each case group runs in a process (and Wine prefix) of its own.
#include <gtest/gtest.h>
#include <windows.h>
#include <wincrypt.h>
#include <winternl.h>
#include <olectl.h>

#include <algorithm>
#include <cstdio>
#include <atomic>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "certutil/result_code.h"
#include "tests/certutil/pki.h"
#include "tests/com/test_support.h"
#include "tests/host/pki_stores.h"
#include "tests/robustness/import_patch.h"
#include "tests/robustness/log_files.h"
#include "tests/support/dispids.h"

using namespace testing_support;

namespace {

std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

long CodeOf(IDispatch* control, DISPID id, std::vector<VARIANT> args, std::vector<std::wstring>* texts = nullptr) {
  ScopedVariant r;
  HRESULT hr = Call(control, id, std::move(args), r.Get());
  EXPECT_EQ(S_OK, hr) << "DISPID " << id;
  long first = -1;
  if (texts) *texts = AnswerTexts(*r.Get(), &first);
  return AnswerCode(*r.Get());
}

// ---- Arguments owned by the call ----------------------------------------

// An object whose default property, read while the control converts it,
// runs the page's code given to it, then answers its own value.
class Callback : public IDispatch {
 public:
  Callback(std::function<void()> run, long value) : m_run(std::move(run)), m_value(value) {}
  int Calls() const { return m_calls; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) {
      *object = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --m_refs; }  // lives on the test's stack
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                                   UINT*) override {
    if (id != DISPID_VALUE) return DISP_E_MEMBERNOTFOUND;
    ++m_calls;
    m_run();
    if (result) {
      VariantInit(result);
      V_VT(result) = VT_I4;
      V_I4(result) = m_value;
    }
    return S_OK;
  }

 private:
  std::atomic<ULONG> m_refs{1};
  std::function<void()> m_run;
  long m_value;
  int m_calls = 0;
};

// An object whose default property frees the caller's string that an
// earlier argument refers to (or puts another string in its place), then
// answers its own value.
Callback Meddler(BSTR* target, const wchar_t* substitute, long value) {
  return Callback(
      [target, substitute] {
        // Free the string, then fill the freed memory with other text of the
        // same size, as the page's own allocations would.
        size_t length = SysStringLen(*target);
        SysFreeString(*target);
        *target = substitute ? SysAllocString(substitute) : nullptr;
        std::vector<BSTR> reuse;
        for (int i = 0; i < 8; ++i)
          reuse.push_back(SysAllocStringLen(std::wstring(length, L'!').c_str(), static_cast<UINT>(length)));
        for (BSTR b : reuse) SysFreeString(b);
      },
      value);
}

VARIANT Dispatch(IDispatch* d) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_DISPATCH;
  V_DISPATCH(&v) = d;
  d->AddRef();
  return v;
}

class OwnedArguments : public ::testing::Test {
 protected:
  void SetUp() override {
    control = CreateControl();
    ASSERT_TRUE(control);
  }
  ComScope com;
  ComPtr<IDispatch> control;
};

// StringToBinary(text by reference, flag as an object): the object's
// default property frees the text (and substitutes other text) while the
// control converts the flag. The answer is the original text's.
TEST_F(OwnedArguments, TextByReferenceFreedDuringConversionOfALaterArgument) {
  struct Case {
    const char* what;
    bool inVariant;  // VT_BYREF|VT_VARIANT holding the BSTR, else VT_BYREF|VT_BSTR
    const wchar_t* substitute;
  };
  const Case cases[] = {
      {"BSTR by reference, freed", false, nullptr},
      {"BSTR by reference, replaced", false, L"////"},
      {"VARIANT by reference, freed", true, nullptr},
      {"VARIANT by reference, replaced", true, L"////"},
  };
  // 3 Mi bytes of 0x10: base64 "EBAQ" repeated.
  std::wstring big;
  for (int i = 0; i < 1024 * 1024; ++i) big += L"EBAQ";
  for (const Case& c : cases) {
    for (const std::wstring& original : {std::wstring(L"AQID"), big}) {
      SCOPED_TRACE(std::string(c.what) + (original.size() > 4 ? ", 4 Mi characters" : ", short"));
      BSTR text = SysAllocStringLen(original.c_str(), static_cast<UINT>(original.size()));
      VARIANT holder;
      VariantInit(&holder);
      V_VT(&holder) = VT_BSTR;
      VARIANT first;
      VariantInit(&first);
      BSTR* target;
      if (c.inVariant) {
        V_BSTR(&holder) = text;
        target = &V_BSTR(&holder);
        V_VT(&first) = VT_BYREF | VT_VARIANT;
        V_VARIANTREF(&first) = &holder;
      } else {
        target = &text;
        V_VT(&first) = VT_BYREF | VT_BSTR;
        V_BSTRREF(&first) = &text;
      }
      Callback meddler = Meddler(target, c.substitute, 1);
      ScopedVariant r;
      ASSERT_EQ(S_OK, Call(control.Get(), dispid::kStringToBinary, {first, Dispatch(&meddler)}, r.Get()));
      EXPECT_EQ(1, meddler.Calls());
      ASSERT_EQ(VT_ARRAY | VT_VARIANT, V_VT(r.Get()));
      SAFEARRAY* a = V_ARRAY(r.Get());
      VARIANT* items = static_cast<VARIANT*>(a->pvData);
      EXPECT_EQ(0, V_I4(&items[0]));
      ASSERT_EQ(VT_ARRAY | VT_UI1, V_VT(&items[1]));
      SAFEARRAY* bytes = V_ARRAY(&items[1]);
      size_t count = bytes->rgsabound[0].cElements;
      const BYTE* data = static_cast<const BYTE*>(bytes->pvData);
      if (original.size() == 4) {
        ASSERT_EQ(3u, count);
        EXPECT_EQ(1, data[0]);
        EXPECT_EQ(2, data[1]);
        EXPECT_EQ(3, data[2]);
      } else {
        ASSERT_EQ(3u * 1024 * 1024, count);
        EXPECT_EQ(count, static_cast<size_t>(std::count(data, data + count, 0x10)));
      }
      SysFreeString(*target);
      EXPECT_TRUE(StillAnswers(control.Get()));
    }
  }
}

// BinaryToString(bytes by reference, length as an object): the object's
// default property overwrites the caller's bytes, or puts another array in
// the caller's variable and frees the one passed, while the control converts
// the length. The answer is the text of the bytes passed.
TEST_F(OwnedArguments, BytesByReferenceChangedDuringConversionOfALaterArgument) {
  const size_t count = 256 * 1024;
  std::vector<BYTE> original(count);
  for (size_t i = 0; i < count; ++i) original[i] = static_cast<BYTE>(i * 7);
  DWORD chars = 0;
  ASSERT_TRUE(CryptBinaryToStringW(original.data(), count, 0x40000001, nullptr, &chars));
  std::wstring expected(chars, L'\0');
  ASSERT_TRUE(CryptBinaryToStringW(original.data(), count, 0x40000001, &expected[0], &chars));
  expected.resize(chars);
  for (bool replace : {false, true}) {
    for (bool inVariant : {false, true}) {
      SCOPED_TRACE(std::string(replace ? "replaced and freed" : "overwritten") +
                   (inVariant ? ", VARIANT by reference" : ", array by reference"));
      VARIANT holder;
      VariantInit(&holder);
      V_VT(&holder) = VT_ARRAY | VT_UI1;
      V_ARRAY(&holder) = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(count));
      ASSERT_NE(nullptr, V_ARRAY(&holder));
      memcpy(V_ARRAY(&holder)->pvData, original.data(), count);
      VARIANT first = ByteArrayByRef(&holder, inVariant);
      HRESULT freed = E_FAIL;
      Callback meddler(
          [&] {
            SAFEARRAY* passed = V_ARRAY(&holder);
            if (!replace) {
              memset(passed->pvData, 0xEE, count);
              return;
            }
            SAFEARRAY* other = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(count));
            memset(other->pvData, 0xEE, count);
            V_ARRAY(&holder) = other;
            freed = SafeArrayDestroy(passed);
          },
          static_cast<long>(count));
      ScopedVariant r;
      ASSERT_EQ(S_OK, Call(control.Get(), dispid::kBinaryToString, {first, Dispatch(&meddler), I4(0x40000001)},
                           r.Get()));
      EXPECT_EQ(1, meddler.Calls());
      long code = -1;
      std::vector<std::wstring> texts = AnswerTexts(*r.Get(), &code);
      EXPECT_EQ(0, code);
      ASSERT_EQ(1u, texts.size());
      EXPECT_TRUE(texts[0] == expected) << "the text of the bytes passed";
      if (replace) {
        EXPECT_EQ(S_OK, freed) << "the caller could free the array it passed";
      }
      VariantClear(&holder);
      EXPECT_TRUE(StillAnswers(control.Get()));
    }
  }
}

// ---- Store names ----------------------------------------------------------

// Every key and value name below a registry key, with the value data's size.
void Snapshot(HKEY root, const std::wstring& path, std::map<std::wstring, DWORD>* out) {
  HKEY key;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  (*out)[path] = 0;
  wchar_t name[16384];
  for (DWORD i = 0;; ++i) {
    DWORD length = 16384, size = 0;
    if (RegEnumValueW(key, i, name, &length, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) break;
    (*out)[path + L"|" + name] = size;
  }
  std::vector<std::wstring> subkeys;
  for (DWORD i = 0;; ++i) {
    DWORD length = 16384;
    if (RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    subkeys.push_back(name);
  }
  RegCloseKey(key);
  for (const std::wstring& s : subkeys) Snapshot(root, path + L"\\" + s, out);
}

std::map<std::wstring, DWORD> Stores() {
  std::map<std::wstring, DWORD> all;
  Snapshot(HKEY_CURRENT_USER, L"Software", &all);
  std::map<std::wstring, DWORD> machine;
  Snapshot(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\SystemCertificates", &machine);
  for (auto& m : machine) all[L"HKLM\\" + m.first] = m.second;
  // The control's own log settings are no store.
  for (auto it = all.begin(); it != all.end();) {
    if (it->first.find(L"Zorv") != std::wstring::npos) it = all.erase(it);
    else ++it;
  }
  return all;
}

std::wstring Differences(const std::map<std::wstring, DWORD>& before, const std::map<std::wstring, DWORD>& after) {
  std::wstring d;
  for (auto& a : after) {
    auto b = before.find(a.first);
    if (b == before.end()) d += L"new: " + a.first + L"\n";
    else if (b->second != a.second) d += L"changed: " + a.first + L"\n";
  }
  for (auto& b : before)
    if (!after.count(b.first)) d += L"gone: " + b.first + L"\n";
  return d;
}

TEST(StoreNames, AStoreNamedByTheCallerIsNeverCreated) {
  ComScope com;
  ASSERT_TRUE(AddCertificate(L"Root", L"root"));
  ASSERT_TRUE(AddCertificate(L"CA", L"ca"));
  ASSERT_TRUE(ImportWithKey(L"full"));
  ComPtr<IDispatch> control = CreateControl();
  ASSERT_TRUE(control);
  // The engine's own first call may set up the user's personal store and
  // key container; what counts is what the names below add.
  std::vector<std::wstring> texts;
  ASSERT_EQ(0, CodeOf(control.Get(), dispid::kCertLookup, {Bstr(L"MY"), I4(3), Bstr(L"")}, &texts));
  ASSERT_EQ(1u, texts.size());
  std::map<std::wstring, DWORD> before = Stores();

  const std::wstring unknown[] = {
      L"NoSuchStore",
      L"PageMadeThis",
      L"..",
      L".",
      L"",
      L"..\\..\\Software\\Evil",
      L"MY\\..\\..\\Evil",
      L"ROOT\\Certificates",
      L"\\\\server.example\\MY",
      L"a\\b",
      L"MY\\",
      std::wstring(255, L'S'),
      std::wstring(300, L'L'),
      std::wstring(70000, L'V'),
      L"Store\x01With\nControls",
  };
  for (const std::wstring& name : unknown) {
    for (long flag : {0L, 3L}) {
      SCOPED_TRACE(testing::Message() << "name of " << name.size() << " characters: "
                                      << std::string(name.begin(), name.begin() + std::min<size_t>(name.size(), 40))
                                      << ", flag " << flag);
      EXPECT_EQ(rc::kStoreNotOpened, CodeOf(control.Get(), dispid::kCertLookup, {Bstr(name.c_str()), I4(flag), Bstr(L"")}, &texts));
      EXPECT_EQ(0u, texts.size());
    }
  }
  // A page calling in a loop leaves nothing behind either.
  for (int i = 0; i < 200; ++i) {
    std::wstring name = L"PageMadeThis" + std::to_wstring(i);
    ASSERT_EQ(rc::kStoreNotOpened, CodeOf(control.Get(), dispid::kCertLookup, {Bstr(name.c_str()), I4(0), Bstr(L"")}));
  }
  EXPECT_EQ(L"", Differences(before, Stores()));

  // Stores that exist still open, in any case of their name.
  for (const wchar_t* name : {L"MY", L"my", L"Root", L"ROOT", L"CA", L"ca"}) {
    SCOPED_TRACE(testing::Message() << std::string(name, name + wcslen(name)));
    EXPECT_EQ(0, CodeOf(control.Get(), dispid::kCertLookup, {Bstr(name), I4(3), Bstr(L"")}, &texts));
    EXPECT_LE(1u, texts.size());
  }
  EXPECT_EQ(L"", Differences(before, Stores()));
  EXPECT_TRUE(StillAnswers(control.Get()));
}

// ---- Log lines ------------------------------------------------------------

class LogLines : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_TRUE(robustness::PointLogDirAtFreshFolder());
    ASSERT_TRUE(AddCertificate(L"Root", L"root"));
    ASSERT_TRUE(AddCertificate(L"CA", L"ca"));
    ASSERT_TRUE(ImportWithKey(L"full"));
  }
  void SetUp() override {
    control = CreateControl();
    ASSERT_TRUE(control);
    ASSERT_EQ(0, CodeOf(control.Get(), dispid::kSetLogging, {Bstr(L"TRACE")}));
  }
  ComScope com;
  ComPtr<IDispatch> control;
};

// A line of a log file as the file holds it, without its line break.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t at = 0;
  while (at <= text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    while (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    at = end + 1;
  }
  return lines;
}

TEST_F(LogLines, CallerTextNeverStartsALineOfItsOwn) {
  const std::string forged = "23:59:59,999 (Tid:1,T:E):CCrypt::SignHash user approved signing";
  const std::string forgedDir = "235959 1 E:CCrypt::SignHash user approved signing";
  const std::wstring wideForged = Wide(forged), wideForgedDir = Wide(forgedDir);
  struct Case {
    const char* what;
    std::wstring text;
    const char* escaped;  // how the entry holds the control characters
  };
  const Case cases[] = {
      {"line feed", L"A\n" + wideForged, "A\\u000A23:59:59"},
      {"carriage return", L"A\r" + wideForged, "A\\u000D23:59:59"},
      {"CR LF", L"A\r\n" + wideForged, "A\\u000D\\u000A23:59:59"},
      {"CR LF, directory header", L"A\r\n" + wideForgedDir, "A\\u000D\\u000A235959"},
      {"leading line break", L"\n" + wideForged, "[\\u000A23:59:59"},
      {"vertical tab, form feed, NEL-free controls", L"\x0b\x0c\x1b[31m\x7f\x01", "[\\u000B\\u000C\\u001B[31m\\u007F\\u0001"},
      {"tab", L"a\tb", "a\\u0009b"},
  };
  int call = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::wstring marker = L"MARK" + std::to_wstring(call++) + L"|";
    // StringToBinary logs its text argument once, at INFO.
    CodeOf(control.Get(), dispid::kStringToBinary, {Bstr((marker + c.text).c_str()), I4(1)});
    // RawSign at TRACE: the serial number holds the text.
    std::wstring serial = marker + c.text;
    CodeOf(control.Get(), dispid::kRawSign,
           {Bstr(std::wstring(40, L'a').c_str()), Bstr(serial.c_str()), Bstr(Wide(PkiText(L"full.sha1")).c_str()),
            Bstr(L"SHA1")});
  }
  std::vector<std::wstring> files = robustness::LogFiles();
  ASSERT_EQ(2u, files.size());
  for (const std::wstring& path : files) {
    robustness::LogFile log = robustness::ReadLog(path);
    SCOPED_TRACE(log.temp ? "temporary-directory log" : "LogDir log");
    // Every line is empty, or starts with the control's own header (the
    // forged header inside the entries is only text in the middle of one).
    std::vector<std::string> lines = Lines(log.text);
    for (size_t i = 0; i < lines.size(); ++i) {
      if (lines[i].empty()) continue;
      std::string withBreak = "\r\n" + lines[i];
      size_t header = log.temp ? robustness::TempHeaderAt(withBreak, 0) : robustness::DirHeaderAt(withBreak, 0);
      EXPECT_NE(0u, header) << "line " << i << " is not an entry: " << lines[i].substr(0, 120);
    }
    // One entry per call holds each marked text, with its controls escaped;
    // the forged header never follows a line break.
    std::vector<std::string> bodies = robustness::EntryBodies(log);
    for (size_t k = 0; k < sizeof(cases) / sizeof(cases[0]); ++k) {
      std::string marker = "MARK" + std::to_string(k) + "|";
      size_t stringToBinary = 0, rawSign = 0;
      for (const std::string& b : bodies) {
        if (b.find(marker) == std::string::npos) continue;
        // The entry lines hold the argument as given (later lines may hold
        // it trimmed).
        bool entryLine = b.find("CTessarnCtrl::StringToBinary [") == 0 || b.find("CTessarnCtrl::RawSign [") == 0;
        if (!entryLine) continue;
        if (b.find("CTessarnCtrl::StringToBinary [") == 0) ++stringToBinary;
        if (b.find("CTessarnCtrl::RawSign [") == 0) ++rawSign;
        std::string escaped = cases[k].escaped;
        if (escaped[0] == '[') escaped = "|" + escaped.substr(1);
        EXPECT_NE(std::string::npos, b.find(escaped)) << cases[k].what << ": " << b.substr(0, 200);
      }
      EXPECT_EQ(1u, stringToBinary) << cases[k].what;
      EXPECT_EQ(1u, rawSign) << cases[k].what;
    }
    EXPECT_EQ(std::string::npos, log.text.find("\n" + forged));
    EXPECT_EQ(std::string::npos, log.text.find("\n" + forgedDir));
  }
}

// ---- The directory log's turn ----------------------------------------------

std::atomic<DWORD> g_lockError{0};
std::atomic<int> g_lockCalls{0};
std::atomic<int> g_locksTaken{0};

BOOL WINAPI FailingLockFileEx(HANDLE, DWORD, DWORD, DWORD, DWORD, LPOVERLAPPED) {
  ++g_lockCalls;
  SetLastError(g_lockError.load());
  return FALSE;
}

// Byte-range locks as Windows grants them: only on a handle with read or
// write data access (Wine does not check).
BOOL WINAPI StrictLockFileEx(HANDLE file, DWORD flags, DWORD reserved, DWORD low, DWORD high, LPOVERLAPPED region) {
  ++g_lockCalls;
  PUBLIC_OBJECT_BASIC_INFORMATION info = {};
  ULONG size = 0;
  if (NtQueryObject(file, ObjectBasicInformation, &info, sizeof(info), &size) != 0 ||
      !(info.GrantedAccess & (FILE_READ_DATA | FILE_WRITE_DATA))) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  BOOL ok = LockFileEx(file, flags, reserved, low, high, region);
  if (ok) ++g_locksTaken;
  return ok;
}

// The log's sleeps while it waits for its turn.
std::atomic<int> g_sleepCalls{0};
void WINAPI CountingSleep(DWORD milliseconds) {
  ++g_sleepCalls;
  Sleep(milliseconds);
}

class LogTurn : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_TRUE(robustness::PointLogDirAtFreshFolder());
    ASSERT_TRUE(AddCertificate(L"Root", L"root"));
    ASSERT_TRUE(AddCertificate(L"CA", L"ca"));
    ASSERT_TRUE(ImportWithKey(L"full"));
  }
  void SetUp() override {
    control = CreateControl();
    ASSERT_TRUE(control);
    cert = Wide(PkiText(L"full.b64"));
    thumb = Wide(PkiText(L"full.sha1"));
  }

  // A RawSign that signs: about a hundred entries.
  void RawSign() {
    std::vector<std::wstring> texts;
    long code = CodeOf(control.Get(), dispid::kRawSign,
                       {Bstr(std::wstring(40, L'a').c_str()), Bstr(L"F12345"), Bstr(thumb.c_str()), Bstr(L"SHA1")},
                       &texts);
    EXPECT_EQ(0, code);
  }

  // The entries of the LogDir file, which must all be whole.
  size_t AllEntries() {
    for (const std::wstring& path : robustness::LogFiles()) {
      robustness::LogFile log = robustness::ReadLog(path);
      if (log.temp) continue;
      robustness::LogCheck check = robustness::CheckLog(log);
      EXPECT_TRUE(check.whole) << check.problem;
      return check.entries;
    }
    return 0;
  }

  ComScope com;
  ComPtr<IDispatch> control;
  std::wstring cert, thumb;
};

// Every entry of a RawSign arrives whole whether the lock is refused for
// the handle (as Windows refuses it on an append-only handle) or held by a
// writer that never lets go, and a call waits at most once, never once per
// entry: the lock's attempts and the log's sleeps are counted, so a wait
// shows however fast or loaded the machine is.
TEST_F(LogTurn, EntriesArriveWholeWhenTheLockFails) {
  HMODULE module = GetModuleHandleW(L"Tessarn.ocx");
  ASSERT_TRUE(module);
  // A call's entries with a working lock.
  RawSign();
  size_t before = AllEntries();
  RawSign();
  const size_t perCall = AllEntries() - before;
  ASSERT_LT(50u, perCall);

  ImportPatch sleeps(module, "kernel32.dll", "Sleep", reinterpret_cast<void*>(&CountingSleep));
  ASSERT_TRUE(sleeps.Applied());
  for (DWORD error : {static_cast<DWORD>(ERROR_ACCESS_DENIED), static_cast<DWORD>(ERROR_LOCK_VIOLATION)}) {
    SCOPED_TRACE(error == ERROR_ACCESS_DENIED ? "ERROR_ACCESS_DENIED" : "ERROR_LOCK_VIOLATION");
    g_lockError = error;
    g_lockCalls = 0;
    g_sleepCalls = 0;
    ImportPatch patch(module, "kernel32.dll", "LockFileEx", reinterpret_cast<void*>(&FailingLockFileEx));
    ASSERT_TRUE(patch.Applied());
    for (int i = 0; i < 5; ++i) {
      before = AllEntries();
      int attemptsBefore = g_lockCalls.load();
      int sleepsBefore = g_sleepCalls.load();
      RawSign();
      int attempts = g_lockCalls.load() - attemptsBefore;
      int slept = g_sleepCalls.load() - sleepsBefore;
      EXPECT_EQ(perCall, AllEntries() - before) << "call " << i << ": every entry arrives";
      if (error == ERROR_ACCESS_DENIED || i > 0) {
        // A refused lock is not tried again, and a lock seen stuck once is
        // tried once per entry from then on: no entry waits.
        EXPECT_EQ(static_cast<int>(perCall), attempts) << "call " << i;
        EXPECT_EQ(0, slept) << "call " << i << ": a wait for the lock";
      } else {
        // The first entry that meets the stuck holder waits for it once
        // (a try after each sleep); every later entry tries once.
        EXPECT_LT(0, slept) << "the first entry never waited for the holder";
        EXPECT_EQ(static_cast<int>(perCall) + slept, attempts) << "more than the one wait";
      }
    }
  }
}

// With Windows' rule for byte-range locks, the directory log still takes
// its turn: its handle has the access a lock needs.
TEST_F(LogTurn, TheHandleAllowsByteRangeLocks) {
  HMODULE module = GetModuleHandleW(L"Tessarn.ocx");
  ASSERT_TRUE(module);
  g_lockCalls = 0;
  g_locksTaken = 0;
  ImportPatch patch(module, "kernel32.dll", "LockFileEx", reinterpret_cast<void*>(&StrictLockFileEx));
  ASSERT_TRUE(patch.Applied());
  size_t before = AllEntries();
  RawSign();
  size_t added = AllEntries() - before;
  EXPECT_LT(50u, added);
  EXPECT_EQ(static_cast<int>(added), g_lockCalls.load());
  EXPECT_EQ(g_lockCalls.load(), g_locksTaken.load());
}

// ---- Signing failures release the key's provider ---------------------------

std::atomic<int> g_failOnCall{0};
std::atomic<int> g_calls{0};
std::vector<HCRYPTPROV> g_acquired;
std::multiset<HCRYPTPROV> g_released;

bool FailThisCall() { return ++g_calls == g_failOnCall.load(); }

BOOL WINAPI CountingAcquire(PCCERT_CONTEXT cert, DWORD flags, void* para, HCRYPTPROV_OR_NCRYPT_KEY_HANDLE* key,
                            DWORD* spec, BOOL* callerFrees) {
  BOOL ok = CryptAcquireCertificatePrivateKey(cert, flags, para, key, spec, callerFrees);
  if (ok && *callerFrees) g_acquired.push_back(*key);
  return ok;
}
BOOL WINAPI FailingAcquire(PCCERT_CONTEXT, DWORD, void*, HCRYPTPROV_OR_NCRYPT_KEY_HANDLE*, DWORD*, BOOL*) {
  SetLastError(static_cast<DWORD>(NTE_BAD_KEYSET));
  return FALSE;
}
BOOL WINAPI CountingRelease(HCRYPTPROV provider, DWORD flags) {
  g_released.insert(provider);
  return CryptReleaseContext(provider, flags);
}
BOOL WINAPI FailingCreateHash(HCRYPTPROV provider, ALG_ID id, HCRYPTKEY key, DWORD flags, HCRYPTHASH* hash) {
  if (FailThisCall()) {
    SetLastError(static_cast<DWORD>(NTE_BAD_ALGID));
    return FALSE;
  }
  return CryptCreateHash(provider, id, key, flags, hash);
}
BOOL WINAPI FailingSignHash(HCRYPTHASH hash, DWORD spec, LPCWSTR description, DWORD flags, BYTE* signature,
                            DWORD* length) {
  if (FailThisCall()) {
    SetLastError(static_cast<DWORD>(NTE_BAD_KEY_STATE));
    return FALSE;
  }
  return CryptSignHashW(hash, spec, description, flags, signature, length);
}
BOOL WINAPI FailingSignMessage(PCRYPT_SIGN_MESSAGE_PARA para, BOOL detached, DWORD count, const BYTE* content[],
                               DWORD sizes[], BYTE* signed_, DWORD* length) {
  if (FailThisCall()) {
    SetLastError(static_cast<DWORD>(CRYPT_E_NO_KEY_PROPERTY));
    return FALSE;
  }
  return CryptSignMessage(para, detached, count, content, sizes, signed_, length);
}

class SigningFailures : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_TRUE(AddCertificate(L"Root", L"root"));
    ASSERT_TRUE(AddCertificate(L"CA", L"ca"));
    ASSERT_TRUE(ImportWithKey(L"full"));
  }
  void SetUp() override {
    control = CreateControl();
    ASSERT_TRUE(control);
    module = GetModuleHandleW(L"Tessarn.ocx");
    ASSERT_TRUE(module);
    cert = Wide(PkiText(L"full.b64"));
    thumb = Wide(PkiText(L"full.sha1"));
    g_acquired.clear();
    g_released.clear();
    g_calls = 0;
  }
  // Each provider the engine acquired for a key was released (a handle
  // value may come back after its release: as often as it was acquired).
  void ExpectEveryKeyReleased() {
    for (HCRYPTPROV p : g_acquired)
      EXPECT_LE(static_cast<size_t>(std::count(g_acquired.begin(), g_acquired.end(), p)), g_released.count(p))
          << "provider " << p;
  }
  long SignRaw(std::vector<std::wstring>* texts) {
    return CodeOf(control.Get(), dispid::kSignRaw,
                  {Bstr(cert.c_str()), Bstr(L"000102030405060708090a0b0c0d0e0f10111213"), Bstr(L"SHA1")}, texts);
  }
  long RawSign(std::vector<std::wstring>* texts) {
    return CodeOf(control.Get(), dispid::kRawSign,
                  {Bstr(L"000102030405060708090a0b0c0d0e0f10111213"), Bstr(L"F12345"), Bstr(thumb.c_str()),
                   Bstr(L"SHA1")},
                  texts);
  }
  long SignPkcs7(std::vector<std::wstring>* texts) {
    return CodeOf(control.Get(), dispid::kSignPKCS7, {Bstr(cert.c_str()), Bstr(L"YWJj"), Bstr(L"SHA256")}, texts);
  }
  ComScope com;
  ComPtr<IDispatch> control;
  HMODULE module = nullptr;
  std::wstring cert, thumb;
};

TEST_F(SigningFailures, EachFailureAnswersItsCodeAndReleasesTheKey) {
  ImportPatch release(module, "advapi32.dll", "CryptReleaseContext", reinterpret_cast<void*>(&CountingRelease));
  ASSERT_TRUE(release.Applied());
  std::vector<std::wstring> texts;
  {
    SCOPED_TRACE("the private key cannot be acquired: 14");
    ImportPatch acquire(module, "crypt32.dll", "CryptAcquireCertificatePrivateKey",
                        reinterpret_cast<void*>(&FailingAcquire));
    ASSERT_TRUE(acquire.Applied());
    EXPECT_EQ(rc::kPrivateKeyNotObtained, SignRaw(&texts));
    EXPECT_EQ(rc::kPrivateKeyNotObtained, SignPkcs7(&texts));
  }
  ImportPatch acquire(module, "crypt32.dll", "CryptAcquireCertificatePrivateKey",
                      reinterpret_cast<void*>(&CountingAcquire));
  ASSERT_TRUE(acquire.Applied());
  struct Case {
    const char* what;
    const char* dll;
    const char* function;
    void* replacement;
    int failOnCall;
    long code;
  };
  const Case cases[] = {
      {"hash object not created: 15", "advapi32.dll", "CryptCreateHash", reinterpret_cast<void*>(&FailingCreateHash),
       1, rc::kHashNotCreated},
      {"signature length not given: 17", "advapi32.dll", "CryptSignHashW", reinterpret_cast<void*>(&FailingSignHash),
       1, rc::kNoSignature},
      {"signature not made: 17", "advapi32.dll", "CryptSignHashW", reinterpret_cast<void*>(&FailingSignHash), 2,
       rc::kNoSignature},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ImportPatch patch(module, c.dll, c.function, c.replacement);
    ASSERT_TRUE(patch.Applied());
    for (int method = 0; method < 2; ++method) {
      g_acquired.clear();
      g_released.clear();
      g_calls = 0;
      g_failOnCall = c.failOnCall;
      long code = method == 0 ? SignRaw(&texts) : RawSign(&texts);
      EXPECT_EQ(c.code, code) << (method == 0 ? "SignRaw" : "RawSign");
      EXPECT_LE(1u, g_acquired.size());
      ExpectEveryKeyReleased();
    }
  }
  for (int failOnCall : {1, 2}) {
    SCOPED_TRACE(testing::Message() << "PKCS #7 message not made (CryptSignMessage call " << failOnCall << "): 41");
    ImportPatch patch(module, "crypt32.dll", "CryptSignMessage", reinterpret_cast<void*>(&FailingSignMessage));
    ASSERT_TRUE(patch.Applied());
    g_acquired.clear();
    g_released.clear();
    g_calls = 0;
    g_failOnCall = failOnCall;
    EXPECT_EQ(rc::kPkcs7Failed, SignPkcs7(&texts));
    EXPECT_EQ(1u, g_acquired.size());
    ExpectEveryKeyReleased();
  }
  // And without a fault, each signs and releases its key.
  g_acquired.clear();
  g_released.clear();
  g_failOnCall = 0;
  EXPECT_EQ(0, SignRaw(&texts));
  EXPECT_EQ(0, SignPkcs7(&texts));
  EXPECT_EQ(2u, g_acquired.size());
  ExpectEveryKeyReleased();
}

// ---- Verbs ------------------------------------------------------------------

TEST(Verbs, EnumVerbsListsTheProperties) {
  ComScope com;
  ComPtr<IDispatch> control = CreateControl();
  ASSERT_TRUE(control);
  ComPtr<IOleObject> object;
  ASSERT_EQ(S_OK, control->QueryInterface(IID_IOleObject, object.ReceiveVoid()));
  ComPtr<IEnumOLEVERB> verbs;
  ASSERT_EQ(S_OK, object->EnumVerbs(verbs.Receive()));
  ASSERT_TRUE(verbs);
  OLEVERB got[4] = {};
  ULONG fetched = 0;
  EXPECT_EQ(S_FALSE, verbs->Next(4, got, &fetched));
  ASSERT_EQ(1u, fetched);
  EXPECT_EQ(OLEIVERB_PROPERTIES, got[0].lVerb);
  ASSERT_TRUE(got[0].lpszVerbName);
  EXPECT_STREQ(L"&Properties...", got[0].lpszVerbName);
  EXPECT_EQ(static_cast<DWORD>(OLEVERBATTRIB_ONCONTAINERMENU), got[0].grfAttribs & OLEVERBATTRIB_ONCONTAINERMENU);
  CoTaskMemFree(got[0].lpszVerbName);
  // Reset, Skip and Clone walk the same list.
  EXPECT_EQ(S_OK, verbs->Reset());
  ComPtr<IEnumOLEVERB> clone;
  ASSERT_EQ(S_OK, verbs->Clone(clone.Receive()));
  EXPECT_EQ(S_OK, verbs->Skip(1));
  EXPECT_EQ(S_FALSE, verbs->Next(1, got, &fetched));
  EXPECT_EQ(0u, fetched);
  EXPECT_EQ(S_OK, clone->Next(1, got, nullptr));
  EXPECT_EQ(OLEIVERB_PROPERTIES, got[0].lVerb);
  CoTaskMemFree(got[0].lpszVerbName);
  // Each listed verb is one DoVerb carries out (the property frame is
  // modal, so it is not run here; an unknown positive verb is refused).
  EXPECT_EQ(OLEOBJ_S_INVALIDVERB, object->DoVerb(7, nullptr, nullptr, 0, nullptr, nullptr));
}

}  // namespace
