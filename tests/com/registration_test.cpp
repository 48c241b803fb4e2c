// Self-registration as regsvr32 drives it, the class factories and the
// module's unload rule. The test's prefix has this module registered by
// regsvr32 before the run; the cases run in order.
#include <gtest/gtest.h>
#include <olectl.h>

#include <string>

#include "tests/com/registered_values.h"
#include "tests/com/test_support.h"

using namespace testing_support;

namespace {

const CLSID kClsid = {0xE0D18E29, 0x700A, 0x419B, {0xA6, 0x91, 0xD0, 0xE8, 0x2E, 0x7C, 0xBC, 0xA5}};
const CLSID kPropPage = {0x4D857FA2, 0xE8BE, 0x42A5, {0x83, 0x6C, 0xD6, 0xC2, 0x28, 0x39, 0x1D, 0xAD}};

using EntryPoint = HRESULT(STDAPICALLTYPE*)();
using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);

// The module loaded directly, as regsvr32 and COM load it.
class Module {
 public:
  explicit Module(const std::wstring& path) : m_handle(LoadLibraryW(path.c_str())) {}
  template <class F>
  F Get(const char* name) const {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(m_handle.Get(), name)));
  }
  HMODULE Handle() const { return m_handle.Get(); }

 private:
  ScopedModule m_handle;
};

void ExpectRegistered(const std::wstring& module) {
  for (const KeyValue& kv : RegisteredValues(module)) {
    bool found = false;
    std::wstring value = ReadString(HKEY_CLASSES_ROOT, kv.key, kv.name, &found);
    EXPECT_TRUE(found) << "missing " << std::string(kv.key.begin(), kv.key.end());
    // Paths compare without regard to case (the platform may fold them).
    EXPECT_EQ(0, _wcsicmp(kv.value.c_str(), value.c_str()))
        << std::string(kv.key.begin(), kv.key.end()) << ": " << std::string(value.begin(), value.end());
  }
  std::wstring categories = std::wstring(kControlKey) + L"\\Implemented Categories\\";
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, categories + kScripting));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, categories + kInitializing));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, std::wstring(kPageKey) + L"\\Implemented Categories"));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, std::wstring(kPageKey) + L"\\InprocServer32") &&
               !ReadString(HKEY_CLASSES_ROOT, std::wstring(kPageKey) + L"\\InprocServer32", L"ThreadingModel").empty())
      << "the property page has no threading model";
  EXPECT_EQ(L"Controls that are safely scriptable",
            ReadString(HKEY_CLASSES_ROOT, std::wstring(L"Component Categories\\") + kScripting, L"409"));
  EXPECT_EQ(L"Controls safely initializable from persistent data",
            ReadString(HKEY_CLASSES_ROOT, std::wstring(L"Component Categories\\") + kInitializing, L"409"));
}

void ExpectUnregistered() {
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kControlKey));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kPageKey));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"TESSARN.TessarnCtrl.1"));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kTypeLibKey));
}

class Registration : public ::testing::Test {
 protected:
  ComScope com;
  std::wstring module = ModulePath();
};

TEST_F(Registration, Regsvr32WroteEveryKey) { ExpectRegistered(module); }

TEST_F(Registration, UnregisterRemovesClassesAndTypeLibraryButKeepsCategories) {
  Module m(module);
  ASSERT_TRUE(m.Handle());
  ASSERT_EQ(S_OK, m.Get<EntryPoint>("DllUnregisterServer")());
  ExpectUnregistered();
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, std::wstring(L"Component Categories\\") + kScripting));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, std::wstring(L"Component Categories\\") + kInitializing));
  // Registering again restores everything; a second run overwrites.
  ASSERT_EQ(S_OK, m.Get<EntryPoint>("DllRegisterServer")());
  ASSERT_EQ(S_OK, m.Get<EntryPoint>("DllRegisterServer")());
  ExpectRegistered(module);
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR out) {
  reinterpret_cast<std::vector<WORD>*>(out)->push_back(language);
  return TRUE;
}

// A copy of the module whose type library resource is damaged cannot
// register its library, and then writes no class keys.
TEST_F(Registration, FailedTypeLibraryRegistrationWritesNoClassKeys) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::wstring copy = std::wstring(temp) + L"NoTypeLib.ocx";
  ASSERT_TRUE(CopyFileW(module.c_str(), copy.c_str(), FALSE));
  std::vector<WORD> languages;
  {
    HMODULE data = LoadLibraryExW(module.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(data);
    EnumResourceLanguagesW(data, L"TYPELIB", MAKEINTRESOURCEW(1), CollectLanguage,
                           reinterpret_cast<LONG_PTR>(&languages));
    FreeLibrary(data);
  }
  ASSERT_FALSE(languages.empty());
  HANDLE update = BeginUpdateResourceW(copy.c_str(), FALSE);
  ASSERT_TRUE(update);
  char garbage[] = "this is not a type library";
  for (WORD lang : languages)
    ASSERT_TRUE(UpdateResourceW(update, L"TYPELIB", MAKEINTRESOURCEW(1), lang, garbage, sizeof(garbage)));
  ASSERT_TRUE(EndUpdateResourceW(update, FALSE));
  {
    Module original(module);
    ASSERT_EQ(S_OK, original.Get<EntryPoint>("DllUnregisterServer")());
  }
  {
    Module stripped(copy);
    ASSERT_TRUE(stripped.Handle());
    EXPECT_EQ(SELFREG_E_TYPELIB, stripped.Get<EntryPoint>("DllRegisterServer")());
  }
  ExpectUnregistered();
  {
    Module original(module);
    ASSERT_EQ(S_OK, original.Get<EntryPoint>("DllRegisterServer")());
  }
  ExpectRegistered(module);
  DeleteFileW(copy.c_str());
}

TEST_F(Registration, ClassObjectsForBothClassesAndNoOther) {
  Module m(module);
  auto get = m.Get<GetClassObjectFn>("DllGetClassObject");
  ASSERT_TRUE(get);
  for (const CLSID* clsid : {&kClsid, &kPropPage}) {
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(S_OK, get(*clsid, IID_IClassFactory, factory.ReceiveVoid()));
    ComPtr<IUnknown> object;
    EXPECT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IUnknown, object.ReceiveVoid()));
    ComPtr<IUnknown> aggregated;
    EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(object.Get(), IID_IUnknown, aggregated.ReceiveVoid()));
  }
  ComPtr<IClassFactory> page;
  ASSERT_EQ(S_OK, get(kPropPage, IID_IClassFactory, page.ReceiveVoid()));
  ComPtr<IPropertyPage> pageObject;
  EXPECT_EQ(S_OK, page->CreateInstance(nullptr, IID_IPropertyPage, pageObject.ReceiveVoid()));
  ComPtr<IClassFactory> none;
  const CLSID unknown = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
  EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, get(unknown, IID_IClassFactory, none.ReceiveVoid()));
  EXPECT_FALSE(none);
}

TEST_F(Registration, ModuleCanUnloadOnlyWhenNothingIsAlive) {
  Module m(module);
  auto canUnload = m.Get<EntryPoint>("DllCanUnloadNow");
  auto get = m.Get<GetClassObjectFn>("DllGetClassObject");
  ASSERT_EQ(S_OK, canUnload());
  {
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(S_OK, get(kClsid, IID_IClassFactory, factory.ReceiveVoid()));
    EXPECT_EQ(S_FALSE, canUnload()) << "a factory reference is held";
    ComPtr<IDispatch> control;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IDispatch, control.ReceiveVoid()));
    factory.Reset();
    EXPECT_EQ(S_FALSE, canUnload()) << "a control is alive";
    control.Reset();
    EXPECT_EQ(S_OK, canUnload());
    ASSERT_EQ(S_OK, get(kClsid, IID_IClassFactory, factory.ReceiveVoid()));
    factory->LockServer(TRUE);
    factory.Reset();
    EXPECT_EQ(S_FALSE, canUnload()) << "the server is locked";
    ASSERT_EQ(S_OK, get(kClsid, IID_IClassFactory, factory.ReceiveVoid()));
    factory->LockServer(FALSE);
  }
  EXPECT_EQ(S_OK, canUnload());
}

}  // namespace
