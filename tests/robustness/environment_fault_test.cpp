// Faults of the environment the control runs in. Each case runs in a
// process (and Wine prefix) of its own: the test breaks the environment
// first, then loads the control, which reads its settings at load.
#include <gtest/gtest.h>
#include <windows.h>
#include <wincrypt.h>

#include <string>

#include "certutil/result_code.h"
#include "tests/certutil/pki.h"
#include "tests/com/test_support.h"
#include "tests/host/pki_stores.h"
#include "tests/robustness/import_patch.h"
#include "tests/robustness/log_files.h"
#include "tests/support/dispids.h"
#include "tests/support/settings.h"

using namespace testing_support;

namespace {

const wchar_t kSettings[] = L"SOFTWARE\\Zorv\\Tessarn";

std::wstring TempPath() { return robustness::TempDir() + L"\\"; }

std::wstring TodaysTempLogName() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  wchar_t name[64];
  swprintf(name, 64, L"tessarn.%04d%02d%02d.log", now.wYear, now.wMonth, now.wDay);
  return name;
}

bool SetValue(const wchar_t* name, DWORD type, const void* data, DWORD bytes) {
  return WriteRegistryValue(HKEY_CURRENT_USER, kSettings, name, type, data, bytes);
}

bool SetText(const wchar_t* name, const std::wstring& text) { return WriteSetting(name, text); }

std::wstring ReadRaw(const wchar_t* name, DWORD* type) {
  std::wstring data(1 << 20, L'\0');
  DWORD bytes = static_cast<DWORD>(data.size() * sizeof(wchar_t));
  HKEY key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kSettings, 0, KEY_READ, &key) != ERROR_SUCCESS) return L"";
  LONG rc = RegQueryValueExW(key, name, nullptr, type, reinterpret_cast<BYTE*>(&data[0]), &bytes);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS) return L"";
  data.resize(bytes / sizeof(wchar_t));
  return data;
}

class EnvironmentFault : public ::testing::Test {
 protected:
  // The control as a page meets it, after the environment was broken.
  IDispatch* Control() {
    if (!m_control) m_control = CreateControl();
    return m_control.Get();
  }

  long Code(DISPID id, std::vector<VARIANT> args, std::vector<std::wstring>* texts = nullptr) {
    ScopedVariant r;
    HRESULT hr = Call(Control(), id, std::move(args), r.Get());
    EXPECT_EQ(S_OK, hr);
    long first = -1;
    if (texts) *texts = AnswerTexts(*r.Get(), &first);
    return AnswerCode(*r.Get());
  }

  // Conversions, the engine and the log methods all still answer.
  void ExpectWorking() {
    std::vector<std::wstring> texts;
    EXPECT_EQ(0, Code(18, {I4(0)}));
    EXPECT_EQ(0, Code(16, {Bstr(L"AQID"), I4(1)}));
    EXPECT_EQ(0, Code(5, {I4(0x183)}));
    EXPECT_EQ(0, Code(4, {}, &texts));
  }

  ComScope com;
  ComPtr<IDispatch> m_control;
};

// Neither log method fails without a temporary directory: the name is built
// without it and nothing is ever written.
TEST_F(EnvironmentFault, TemporaryDirectoryMissing) {
  SetEnvironmentVariableW(L"TMP", L"C:\\tessarn-missing\\deeper\\temp");
  SetEnvironmentVariableW(L"TEMP", L"C:\\tessarn-missing\\deeper\\temp");
  std::vector<std::wstring> texts;
  ASSERT_EQ(0, Code(3, {Bstr(L"TRACE")}, &texts));
  ASSERT_EQ(1u, texts.size());
  EXPECT_EQ(L"\\" + TodaysTempLogName(), texts[0]);
  ExpectWorking();
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(L"C:\\tessarn-missing"));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((L"\\" + TodaysTempLogName()).c_str()));
}

// The temporary "directory" is a file: the name is built, every entry is
// dropped, and the file is left as it was.
TEST_F(EnvironmentFault, TemporaryDirectoryIsAFile) {
  std::wstring file = TempPath() + L"not-a-directory";
  HANDLE h = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, h);
  DWORD written = 0;
  WriteFile(h, "keep", 4, &written, nullptr);
  CloseHandle(h);
  SetEnvironmentVariableW(L"TMP", file.c_str());
  SetEnvironmentVariableW(L"TEMP", file.c_str());
  std::vector<std::wstring> texts;
  ASSERT_EQ(0, Code(3, {Bstr(L"TRACE")}, &texts));
  ExpectWorking();
  EXPECT_EQ("keep", robustness::ReadAll(file));
}

// Today's log file cannot be opened (a directory holds its name): entries
// are dropped silently, the methods answer as always.
TEST_F(EnvironmentFault, TemporaryLogFileCannotBeOpened) {
  std::wstring blocked = TempPath() + TodaysTempLogName();
  ASSERT_TRUE(CreateDirectoryW(blocked.c_str(), nullptr));
  std::vector<std::wstring> texts;
  ASSERT_EQ(0, Code(3, {Bstr(L"TRACE")}, &texts));
  ExpectWorking();
  EXPECT_EQ(FILE_ATTRIBUTE_DIRECTORY, GetFileAttributesW(blocked.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
}

// "LogDir" names a file, then a folder that does not exist.
TEST_F(EnvironmentFault, LogDirectoryNotWritable) {
  std::wstring file = TempPath() + L"logdir-is-a-file";
  HANDLE h = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, h);
  CloseHandle(h);
  ASSERT_TRUE(SetText(L"LogDir", file));
  ExpectWorking();
  EXPECT_EQ("", robustness::ReadAll(file));
}

TEST_F(EnvironmentFault, LogDirectoryMissing) {
  ASSERT_TRUE(SetText(L"LogDir", L"C:\\tessarn-no-such-folder\\logs"));
  ExpectWorking();
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(L"C:\\tessarn-no-such-folder"));
}

// Settings of types the log does not handle: they give empty text, nothing
// is written over them, and the control works.
TEST_F(EnvironmentFault, SettingsOfWrongTypes) {
  const BYTE junk[] = {0xff, 0x00, 0x25, 0x00, 0x6e, 0x00};
  ASSERT_TRUE(SetValue(L"LogLevel", REG_BINARY, junk, sizeof(junk)));
  const wchar_t multi[] = L"C:\\\0D:\\\0";
  ASSERT_TRUE(SetValue(L"LogDir", REG_MULTI_SZ, multi, sizeof(multi)));
  ExpectWorking();
  DWORD type = 0;
  ReadRaw(L"LogLevel", &type);
  EXPECT_EQ(static_cast<DWORD>(REG_BINARY), type);
  ReadRaw(L"LogDir", &type);
  EXPECT_EQ(static_cast<DWORD>(REG_MULTI_SZ), type);
}

// A number where a text belongs: "LogDir" 4 is the relative folder "4".
TEST_F(EnvironmentFault, SettingsAsNumbers) {
  DWORD four = 4;
  ASSERT_TRUE(SetValue(L"LogLevel", REG_DWORD, &four, sizeof(four)));
  ASSERT_TRUE(SetValue(L"LogDir", REG_DWORD, &four, sizeof(four)));
  ExpectWorking();
}

// Values longer than the 260 bytes the log reads, one of them without a
// terminator: they are not read, the defaults hold, the stored values stay.
TEST_F(EnvironmentFault, SettingsTooLong) {
  std::wstring longDir(100000, L'D');
  ASSERT_TRUE(SetText(L"LogDir", longDir));
  std::wstring unterminated(130, L'T');
  ASSERT_TRUE(SetValue(L"LogLevel", REG_SZ, unterminated.data(), 260));
  ExpectWorking();
  DWORD type = 0;
  std::wstring stored = ReadRaw(L"LogDir", &type);
  EXPECT_EQ(longDir.size() + 1, stored.size()) << "the long value was changed";
  EXPECT_EQ(unterminated, ReadRaw(L"LogLevel", &type).substr(0, 130));
}

// The user's "MY" store holds damaged certificate data beside a sound
// certificate: listing skips what cannot be read and finds the sound one.
TEST_F(EnvironmentFault, DamagedPersonalStore) {
  ASSERT_TRUE(AddCertificate(L"MY", L"plain"));
  HKEY key;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER,
                                           L"Software\\Microsoft\\SystemCertificates\\My\\Certificates\\"
                                           L"0123456789ABCDEF0123456789ABCDEF01234567",
                                           0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr));
  const BYTE damaged[] = {0x20, 0, 0, 0, 1, 0, 0, 0, 0xff, 0xff, 0xff, 0x7f, 0x30, 0x82, 0x01};
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key, L"Blob", 0, REG_BINARY, damaged, sizeof(damaged)));
  RegCloseKey(key);
  std::vector<std::wstring> texts;
  EXPECT_EQ(0, Code(5, {I4(0x183)}, &texts));
  std::string b64 = PkiText(L"plain.b64");
  bool listed = false;
  for (const std::wstring& t : texts) listed |= std::string(t.begin(), t.end()) == b64;
  EXPECT_TRUE(listed) << texts.size() << " certificates listed";
  std::string sha1 = PkiText(L"plain.sha1");
  EXPECT_EQ(0, Code(6, {Bstr(L"MY"), I4(1), Bstr(std::wstring(sha1.begin(), sha1.end()).c_str())}, &texts));
  ExpectWorking();
}

// No cryptographic provider is installed: every engine method answers 8
// (no provider context) and the rest of the control works.
TEST_F(EnvironmentFault, NoCryptographicProvider) {
  ASSERT_TRUE(AddCertificate(L"MY", L"plain"));
  std::string b64 = PkiText(L"plain.b64");
  std::wstring cert(b64.begin(), b64.end());
  ASSERT_EQ(ERROR_SUCCESS, RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Cryptography\\Defaults\\Provider"));
  EXPECT_EQ(rc::kContextNotAcquired, Code(5, {I4(0x183)}));
  EXPECT_EQ(rc::kContextNotAcquired, Code(9, {Bstr(cert.c_str())}));
  EXPECT_EQ(rc::kContextNotAcquired, Code(12, {Bstr(cert.c_str()), Bstr(L"YWJj"), Bstr(L"SHA1")}));
  EXPECT_EQ(0, Code(18, {I4(0)}));
  EXPECT_EQ(0, Code(16, {Bstr(L"AQID"), I4(1)}));
}

BOOL WINAPI FailingChainEngine(PCERT_CHAIN_ENGINE_CONFIG, HCERTCHAINENGINE* engine) {
  *engine = nullptr;
  SetLastError(static_cast<DWORD>(E_OUTOFMEMORY));
  return FALSE;
}

// The platform cannot create a chain engine: every chain check answers 18.
TEST_F(EnvironmentFault, ChainEngineFails) {
  ASSERT_TRUE(AddCertificate(L"Root", L"root"));
  ASSERT_TRUE(AddCertificate(L"CA", L"ca"));
  ASSERT_TRUE(ImportWithKey(L"full"));
  ASSERT_TRUE(Control());
  ImportPatch patch(GetModuleHandleW(L"Tessarn.ocx"), "crypt32.dll", "CertCreateCertificateChainEngine",
                    reinterpret_cast<void*>(&FailingChainEngine));
  ASSERT_TRUE(patch.Applied());
  std::string b64 = PkiText(L"full.b64");
  std::wstring cert(b64.begin(), b64.end());
  std::string sha1 = PkiText(L"full.sha1");
  std::wstring thumb(sha1.begin(), sha1.end());
  EXPECT_EQ(rc::kChainEngine, Code(10, {Bstr(cert.c_str())}));
  EXPECT_EQ(rc::kChainEngine, Code(7, {Bstr(cert.c_str()), I4(0x083)}));
  std::vector<std::wstring> texts;
  EXPECT_EQ(rc::kChainEngine,
            Code(2, {Bstr(std::wstring(40, L'a').c_str()), Bstr(L"F12345"), Bstr(thumb.c_str()), Bstr(L"SHA1")}, &texts));
  ExpectWorking();
}

// The chain engine the checks keep for the module's life. The replacements
// below pass through to the platform and record what the module asked for.
struct EngineCalls {
  int creations = 0;         // every attempt
  int failuresToMake = 0;    // attempts still to fail
  HCERTCHAINENGINE made = nullptr;
  int releases = 0;
  HCERTCHAINENGINE released = nullptr;
} g_engineCalls;

BOOL WINAPI RecordedChainEngine(PCERT_CHAIN_ENGINE_CONFIG config, HCERTCHAINENGINE* engine) {
  ++g_engineCalls.creations;
  if (g_engineCalls.failuresToMake > 0) {
    --g_engineCalls.failuresToMake;
    return FailingChainEngine(config, engine);
  }
  BOOL made = CertCreateCertificateChainEngine(config, engine);
  if (made) g_engineCalls.made = *engine;
  return made;
}

void WINAPI RecordedEngineRelease(HCERTCHAINENGINE engine) {
  ++g_engineCalls.releases;
  g_engineCalls.released = engine;
  CertFreeCertificateChainEngine(engine);
}

size_t Occurrences(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// A failure to make the engine answers 18 and is tried again by the next
// check; once made, the engine serves every later check of every method,
// and its creation is logged once.
TEST_F(EnvironmentFault, ChainEngineRetriedAfterFailure) {
  ASSERT_TRUE(AddCertificate(L"Root", L"root"));
  ASSERT_TRUE(AddCertificate(L"CA", L"ca"));
  ASSERT_TRUE(ImportWithKey(L"full"));
  ASSERT_TRUE(Control());
  ASSERT_EQ(0, Code(3, {Bstr(L"TRACE")}));
  ImportPatch patch(GetModuleHandleW(L"Tessarn.ocx"), "crypt32.dll", "CertCreateCertificateChainEngine",
                    reinterpret_cast<void*>(&RecordedChainEngine));
  ASSERT_TRUE(patch.Applied());
  std::string b64 = PkiText(L"full.b64");
  std::wstring cert(b64.begin(), b64.end());
  std::string sha1 = PkiText(L"full.sha1");
  std::wstring thumb(sha1.begin(), sha1.end());
  g_engineCalls.failuresToMake = 2;
  EXPECT_EQ(rc::kChainEngine, Code(10, {Bstr(cert.c_str())}));
  EXPECT_EQ(rc::kChainEngine, Code(7, {Bstr(cert.c_str()), I4(0x083)}));
  EXPECT_EQ(2, g_engineCalls.creations) << "each failed check tries again";
  EXPECT_EQ(0, Code(10, {Bstr(cert.c_str())}));
  EXPECT_EQ(0, Code(7, {Bstr(cert.c_str()), I4(0x083)}));
  std::vector<std::wstring> texts;
  EXPECT_EQ(0, Code(2, {Bstr(std::wstring(40, L'a').c_str()), Bstr(L"F12345"), Bstr(thumb.c_str()), Bstr(L"SHA1")},
                    &texts));
  EXPECT_EQ(0, Code(5, {I4(0x083)}, &texts));
  EXPECT_EQ(1u, texts.size());
  EXPECT_EQ(3, g_engineCalls.creations) << "one engine serves every check once it is made";
  ASSERT_EQ(0, Code(3, {Bstr(L"NONE")}));
  std::string log = robustness::ReadAll(TempPath() + TodaysTempLogName());
  EXPECT_EQ(3u, Occurrences(log, "nrlCertChainIsValid CertCreateCertificateChainEngine"));
  EXPECT_EQ(2u, Occurrences(log, "The engine creation function failed, error code [8007000e]"));
  EXPECT_EQ(6u, Occurrences(log, "nrlCertChainIsValid start"));
  EXPECT_EQ(4u, Occurrences(log, "nrlCertChainIsValid CertGetCertificateChain"));
}

typedef HRESULT(STDAPICALLTYPE* GetClassObjectFn)(REFCLSID, REFIID, void**);

// The engine is released, once, when the module is unloaded; a control made
// and dropped before leaves it alive for the module's next control.
TEST_F(EnvironmentFault, ChainEngineReleasedAtUnload) {
  ASSERT_TRUE(AddCertificate(L"Root", L"root"));
  ASSERT_TRUE(AddCertificate(L"CA", L"ca"));
  std::string b64 = PkiText(L"full.b64");
  std::wstring cert(b64.begin(), b64.end());
  // Loaded by the test alone (not through COM, which keeps what it loads),
  // so that freeing it unloads it.
  HMODULE module = LoadLibraryW(ModulePath().c_str());
  ASSERT_TRUE(module);
  auto get = reinterpret_cast<GetClassObjectFn>(reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
  ASSERT_TRUE(get);
  ImportPatch create(module, "crypt32.dll", "CertCreateCertificateChainEngine",
                     reinterpret_cast<void*>(&RecordedChainEngine));
  ImportPatch release(module, "crypt32.dll", "CertFreeCertificateChainEngine",
                      reinterpret_cast<void*>(&RecordedEngineRelease));
  ASSERT_TRUE(create.Applied());
  ASSERT_TRUE(release.Applied());
  CLSID clsid;
  ASSERT_EQ(S_OK, CLSIDFromProgID(L"TESSARN.TessarnCtrl.1", &clsid));
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(S_OK, get(clsid, IID_IClassFactory, factory.ReceiveVoid()));
  for (int control = 0; control < 2; ++control) {
    ComPtr<IDispatch> d;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IDispatch, d.ReceiveVoid()));
    ComPtr<IPersistPropertyBag> bag;  // initialised as a page's container does
    ASSERT_EQ(S_OK, d.As(bag));
    ASSERT_EQ(S_OK, bag->InitNew());
    for (int check = 0; check < 2; ++check) {
      ScopedVariant r;
      ASSERT_EQ(S_OK, Call(d.Get(), dispid::kCertChainIsValid, {Bstr(cert.c_str())}, r.Get()));
      EXPECT_EQ(0, AnswerCode(*r.Get()));
    }
  }
  factory.Reset();
  EXPECT_EQ(1, g_engineCalls.creations);
  ASSERT_TRUE(g_engineCalls.made);
  EXPECT_EQ(0, g_engineCalls.releases) << "released while the module is loaded";
  // The module's import table goes with it: the patches are not undone.
  create.Abandon();
  release.Abandon();
  ASSERT_TRUE(FreeLibrary(module));
  EXPECT_EQ(nullptr, GetModuleHandleW(L"Tessarn.ocx")) << "the module is still loaded";
  EXPECT_EQ(1, g_engineCalls.releases);
  EXPECT_EQ(g_engineCalls.made, g_engineCalls.released);
}

}  // namespace
