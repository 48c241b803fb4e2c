#include "tests/host/host_object.h"

#include <ocidl.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "tests/host/pki_stores.h"
#include "tests/support/files.h"

namespace {

enum : DISPID {
  kEcho = 1, kCheck, kEqual, kFail, kEnv, kReadFile, kFileExists, kSetUILanguage, kArg, kArgCount,
  kCreateControl, kDeleteFile, kWriteFile, kTypeName, kSleep, kIsNullBstr, kImportWithKey, kAddCert, kSetEnv,
  kUnsite,
};

struct Name {
  const wchar_t* name;
  DISPID id;
};
const Name kNames[] = {
    {L"Echo", kEcho}, {L"Check", kCheck}, {L"Equal", kEqual}, {L"Fail", kFail}, {L"Env", kEnv},
    {L"ReadFile", kReadFile}, {L"FileExists", kFileExists}, {L"SetUILanguage", kSetUILanguage},
    {L"Arg", kArg}, {L"ArgCount", kArgCount}, {L"CreateControl", kCreateControl},
    {L"DeleteFile", kDeleteFile}, {L"WriteFile", kWriteFile}, {L"TypeName", kTypeName},
    {L"Sleep", kSleep}, {L"ImportWithKey", kImportWithKey}, {L"AddCert", kAddCert}, {L"SetEnv", kSetEnv}, {L"IsNullBstr", kIsNullBstr},
    {L"Unsite", kUnsite},
};

std::wstring Text(const VARIANT* v) {
  VARIANT copy;
  VariantInit(&copy);
  if (FAILED(VariantChangeType(&copy, const_cast<VARIANT*>(v), VARIANT_ALPHABOOL, VT_BSTR))) {
    wchar_t buf[64];
    swprintf(buf, 64, L"<vartype %d>", V_VT(v));
    return buf;
  }
  std::wstring s(V_BSTR(&copy) ? V_BSTR(&copy) : L"", SysStringLen(V_BSTR(&copy)));
  VariantClear(&copy);
  return s;
}

const VARIANT* Deref(const VARIANT* v) {
  while (V_VT(v) == (VT_BYREF | VT_VARIANT)) v = V_VARIANTREF(v);
  return v;
}

void SetText(VARIANT* result, const std::wstring& s) {
  if (!result) return;
  V_VT(result) = VT_BSTR;
  V_BSTR(result) = SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
}

std::string Narrow(const std::wstring& w, UINT codePage) {
  if (w.empty()) return std::string();
  int n = WideCharToMultiByte(codePage, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(codePage, 0, w.data(), static_cast<int>(w.size()), &s[0], n, nullptr, nullptr);
  return s;
}

// Reads a file's bytes as text: UTF-8 when it decodes as such, otherwise one
// character per byte (log files are written in the runtime's narrow locale).
std::wstring ReadFileText(const std::wstring& path, bool* found) {
  std::string bytes = ReadBytes(path, found);
  std::wstring w;
  for (unsigned char c : bytes) w += static_cast<wchar_t>(c);
  return w;
}

}  // namespace

void Print(const std::wstring& text) {
  std::string s = Narrow(text, CP_UTF8) + "\n";
  fwrite(s.data(), 1, s.size(), stdout);
  fflush(stdout);
}

HRESULT CreateControl(const wchar_t* progId, const wchar_t* init, IDispatch** control) {
  *control = nullptr;
  CLSID clsid;
  HRESULT hr = CLSIDFromProgID(progId, &clsid);
  if (FAILED(hr)) return hr;
  IDispatch* disp = nullptr;
  hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&disp));
  if (FAILED(hr)) return hr;
  std::wstring mode = init ? init : L"bag";
  if (mode == L"bag") {
    IPersistPropertyBag* bag = nullptr;
    hr = disp->QueryInterface(IID_IPersistPropertyBag, reinterpret_cast<void**>(&bag));
    if (SUCCEEDED(hr)) {
      hr = bag->InitNew();
      bag->Release();
    }
  } else if (mode == L"stream") {
    IPersistStreamInit* stream = nullptr;
    hr = disp->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void**>(&stream));
    if (SUCCEEDED(hr)) {
      hr = stream->InitNew();
      stream->Release();
    }
  } else if (mode != L"none") {
    hr = E_INVALIDARG;
  }
  if (FAILED(hr)) {
    disp->Release();
    return hr;
  }
  *control = disp;
  return S_OK;
}

HostObject::HostObject(std::vector<std::wstring> args) : m_args(std::move(args)) {}

HRESULT HostObject::QueryInterface(REFIID iid, void** object) {
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) {
    *object = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG HostObject::AddRef() { return InterlockedIncrement(&m_refs); }
ULONG HostObject::Release() {
  LONG r = InterlockedDecrement(&m_refs);
  if (r == 0) delete this;
  return r;
}

HRESULT HostObject::GetTypeInfoCount(UINT* count) {
  *count = 0;
  return S_OK;
}
HRESULT HostObject::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  *info = nullptr;
  return E_NOTIMPL;
}

HRESULT HostObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  HRESULT hr = S_OK;
  for (UINT i = 0; i < count; ++i) {
    ids[i] = DISPID_UNKNOWN;
    for (const Name& n : kNames) {
      if (i == 0 && _wcsicmp(n.name, names[i]) == 0) ids[i] = n.id;
    }
    if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
  }
  return hr;
}

void HostObject::Fail(const std::wstring& message) {
  ++m_failures;
  Print(L"FAIL: " + message);
}

HRESULT HostObject::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*) {
  UINT argc = params ? params->cArgs : 0;
  auto arg = [&](UINT i) -> const VARIANT* { return Deref(&params->rgvarg[argc - 1 - i]); };
  if (result) VariantInit(result);
  switch (id) {
    case kEcho: {
      std::wstring line;
      for (UINT i = 0; i < argc; ++i) line += (i ? L" " : L"") + Text(arg(i));
      Print(line);
      return S_OK;
    }
    case kCheck: {
      if (argc < 1) return DISP_E_BADPARAMCOUNT;
      VARIANT b;
      VariantInit(&b);
      bool ok = SUCCEEDED(VariantChangeType(&b, const_cast<VARIANT*>(arg(0)), 0, VT_BOOL)) && V_BOOL(&b);
      ++m_checks;
      if (!ok) {
        ++m_checkFailures;
        Fail(argc > 1 ? Text(arg(1)) : L"check failed");
      }
      return S_OK;
    }
    case kEqual: {
      if (argc < 2) return DISP_E_BADPARAMCOUNT;
      std::wstring actual = Text(arg(0)), expected = Text(arg(1));
      ++m_checks;
      if (actual != expected) {
        ++m_checkFailures;
        Fail((argc > 2 ? Text(arg(2)) + L": " : L"") + L"expected [" + expected + L"] got [" + actual + L"]");
      }
      return S_OK;
    }
    case kFail:
      Fail(argc ? Text(arg(0)) : L"failed");
      return S_OK;
    case kEnv: {
      if (argc < 1) return DISP_E_BADPARAMCOUNT;
      wchar_t buf[4096];
      DWORD n = GetEnvironmentVariableW(Text(arg(0)).c_str(), buf, 4096);
      SetText(result, n && n < 4096 ? std::wstring(buf, n) : std::wstring());
      return S_OK;
    }
    case kReadFile: {
      if (argc < 1) return DISP_E_BADPARAMCOUNT;
      bool found = false;
      std::wstring text = ReadFileText(Text(arg(0)), &found);
      SetText(result, text);
      return S_OK;
    }
    case kFileExists: {
      if (argc < 1) return DISP_E_BADPARAMCOUNT;
      DWORD attrs = GetFileAttributesW(Text(arg(0)).c_str());
      if (result) {
        V_VT(result) = VT_BOOL;
        V_BOOL(result) = attrs != INVALID_FILE_ATTRIBUTES ? VARIANT_TRUE : VARIANT_FALSE;
      }
      return S_OK;
    }
    case kDeleteFile:
      if (argc < 1) return DISP_E_BADPARAMCOUNT;
      DeleteFileW(Text(arg(0)).c_str());
      return S_OK;
    case kWriteFile: {
      if (argc < 2) return DISP_E_BADPARAMCOUNT;
      std::string bytes = Narrow(Text(arg(1)), CP_UTF8);
      HANDLE h = CreateFileW(Text(arg(0)).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
      if (h == INVALID_HANDLE_VALUE) return E_FAIL;
      DWORD n;
      WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr);
      CloseHandle(h);
      return S_OK;
    }
    case kSetUILanguage: {
      if (argc < 1) return DISP_E_BADPARAMCOUNT;
      VARIANT v;
      VariantInit(&v);
      if (FAILED(VariantChangeType(&v, const_cast<VARIANT*>(arg(0)), 0, VT_I4))) return DISP_E_TYPEMISMATCH;
      LANGID got = SetThreadUILanguage(static_cast<LANGID>(V_I4(&v)));
      if (result) {
        V_VT(result) = VT_I4;
        V_I4(result) = got;
      }
      return S_OK;
    }
    case kArg: {
      VARIANT v;
      VariantInit(&v);
      if (argc < 1 || FAILED(VariantChangeType(&v, const_cast<VARIANT*>(arg(0)), 0, VT_I4))) return DISP_E_TYPEMISMATCH;
      size_t i = static_cast<size_t>(V_I4(&v));
      SetText(result, i < m_args.size() ? m_args[i] : std::wstring());
      return S_OK;
    }
    case kArgCount:
      if (result) {
        V_VT(result) = VT_I4;
        V_I4(result) = static_cast<LONG>(m_args.size());
      }
      return S_OK;
    case kCreateControl: {
      std::wstring mode = argc > 0 ? Text(arg(0)) : L"bag";
      IDispatch* control = nullptr;
      HRESULT hr = CreateControl(L"TESSARN.TessarnCtrl.1", mode.c_str(), &control);
      if (FAILED(hr)) return hr;
      if (result) {
        V_VT(result) = VT_DISPATCH;
        V_DISPATCH(result) = control;
      } else {
        control->Release();
      }
      return S_OK;
    }
    case kTypeName: {
      if (argc < 1) return DISP_E_BADPARAMCOUNT;
      const VARIANT* v = arg(0);
      wchar_t buf[32];
      swprintf(buf, 32, L"%d", V_VT(v));
      SetText(result, buf);
      return S_OK;
    }
    case kIsNullBstr: {
      if (argc < 1) return DISP_E_BADPARAMCOUNT;
      const VARIANT* v = arg(0);
      if (result) {
        V_VT(result) = VT_BOOL;
        V_BOOL(result) = (V_VT(v) == VT_BSTR && V_BSTR(v) == nullptr) ? VARIANT_TRUE : VARIANT_FALSE;
      }
      return S_OK;
    }
    case kImportWithKey: {
      if (argc < 1) return DISP_E_BADPARAMCOUNT;
      std::wstring name = Text(arg(0));
      if (!ImportWithKey(name)) Fail(L"cannot import " + name + L".keyblob into MY");
      return S_OK;
    }
    case kAddCert: {
      if (argc < 2) return DISP_E_BADPARAMCOUNT;
      std::wstring store = Text(arg(0)), name = Text(arg(1));
      if (!AddCertificate(store, name)) Fail(L"cannot add " + name + L" to " + store);
      return S_OK;
    }
    case kSetEnv:
      if (argc < 2) return DISP_E_BADPARAMCOUNT;
      SetEnvironmentVariableW(Text(arg(0)).c_str(), Text(arg(1)).c_str());
      return S_OK;
    case kSleep: {
      VARIANT v;
      VariantInit(&v);
      if (argc < 1 || FAILED(VariantChangeType(&v, const_cast<VARIANT*>(arg(0)), 0, VT_I4))) return DISP_E_TYPEMISMATCH;
      Sleep(static_cast<DWORD>(V_I4(&v)));
      return S_OK;
    }
    case kUnsite:
      // Takes the page away from the control the script runs with.
      if (m_unsite) m_unsite();
      return S_OK;
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
}
