// A minimal web-page-like container for tests: creates the Tessarn control by
// ProgID, initialises it as a page would, and runs a JScript or VBScript
// file through the Windows Script engine with the control bound as the
// named item "ctl" and the test helper as "host".
//
//   script_host [--init bag|stream|none] [PAGE OPTIONS] SCRIPT [ARGS...]
//
// Page options site the control in a page, as a browser does:
//   --url URL           its container is an HTML document at URL
//   --unreadable-url    ... an HTML document whose URL cannot be read
//   --empty-url         ... an HTML document whose URL reads as ""
//   --null-url          ... an HTML document whose URL reads as no text (S_OK)
//   --moniker URL       its container's moniker is a URL moniker of URL
//   --object-site       the site is given through IObjectWithSite instead
// Without them the control has no site, as in a script host.
//
// Exit code 0 only when the script ran without a script error and every
// check passed.
#include <windows.h>
#include <activscp.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/host/host_object.h"
#include "tests/host/page_site.h"
#include "tests/support/files.h"

namespace {

// The script interfaces' IIDs (not all are in the import libraries).
const IID kIidActiveScript = {0xbb1a2ae1, 0xa4f9, 0x11cf, {0x8f, 0x20, 0x00, 0x80, 0x5f, 0x2c, 0xd0, 0x64}};
const IID kIidActiveScriptSite = {0xdb01a1e3, 0xa42b, 0x11cf, {0x8f, 0x20, 0x00, 0x80, 0x5f, 0x2c, 0xd0, 0x64}};
#ifdef _WIN64
const IID kIidActiveScriptParse = {0xc7ef7658, 0xe1ee, 0x480e, {0x97, 0xea, 0xd5, 0x2c, 0xb4, 0xd7, 0x6d, 0x17}};
#else
const IID kIidActiveScriptParse = {0xbb1a2ae2, 0xa4f9, 0x11cf, {0x8f, 0x20, 0x00, 0x80, 0x5f, 0x2c, 0xd0, 0x64}};
#endif

std::wstring Extension(const std::wstring& path) {
  size_t dot = path.rfind(L'.');
  return dot == std::wstring::npos ? L"" : path.substr(dot);
}

std::wstring ReadUtf8(const std::wstring& path, bool* ok) {
  std::string bytes = ReadBytes(path, ok);
  if (!*ok) return L"";
  if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
  int len = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(len), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), &w[0], len);
  return w;
}

class Site : public IActiveScriptSite {
 public:
  Site(IDispatch* control, HostObject* host) : m_control(control), m_host(host) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, kIidActiveScriptSite)) {
      *object = static_cast<IActiveScriptSite*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  HRESULT STDMETHODCALLTYPE GetLCID(LCID* lcid) override {
    *lcid = LOCALE_USER_DEFAULT;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** unk, ITypeInfo** info) override {
    if (info) *info = nullptr;
    IDispatch* item = nullptr;
    if (_wcsicmp(name, L"ctl") == 0) item = m_control;
    else if (_wcsicmp(name, L"host") == 0) item = m_host;
    if (!item) return TYPE_E_ELEMENTNOTFOUND;
    if (mask & SCRIPTINFO_IUNKNOWN) {
      *unk = item;
      item->AddRef();
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetDocVersionString(BSTR* version) override {
    *version = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE OnScriptTerminate(const VARIANT*, const EXCEPINFO*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnStateChange(SCRIPTSTATE) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnScriptError(IActiveScriptError* error) override {
    EXCEPINFO info = {};
    error->GetExceptionInfo(&info);
    DWORD context = 0;
    ULONG line = 0;
    LONG column = 0;
    error->GetSourcePosition(&context, &line, &column);
    wchar_t where[64];
    swprintf(where, 64, L" (line %lu, scode 0x%08lx)", line + 1, static_cast<unsigned long>(info.scode));
    m_host->Fail(L"script error: " + std::wstring(info.bstrDescription ? info.bstrDescription : L"?") + where);
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnEnterScript() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnLeaveScript() override { return S_OK; }

 private:
  IDispatch* m_control;
  HostObject* m_host;
};

int Run(int argc, wchar_t** argv) {
  std::wstring init = L"bag";
  PageOptions page;
  bool sited = false;
  int i = 1;
  for (;;) {
    if (i + 1 < argc && wcscmp(argv[i], L"--init") == 0) {
      init = argv[i + 1];
      i += 2;
    } else if (i + 1 < argc && wcscmp(argv[i], L"--url") == 0) {
      page.document = sited = true;
      page.documentUrl = argv[i + 1];
      i += 2;
    } else if (i < argc && wcscmp(argv[i], L"--unreadable-url") == 0) {
      page.document = page.unreadableUrl = sited = true;
      ++i;
    } else if (i < argc && wcscmp(argv[i], L"--empty-url") == 0) {
      page.document = sited = true;
      page.documentUrl.clear();
      ++i;
    } else if (i < argc && wcscmp(argv[i], L"--null-url") == 0) {
      page.document = page.nullUrl = sited = true;
      ++i;
    } else if (i + 1 < argc && wcscmp(argv[i], L"--moniker") == 0) {
      sited = true;
      page.monikerUrl = argv[i + 1];
      i += 2;
    } else if (i < argc && wcscmp(argv[i], L"--object-site") == 0) {
      page.throughObjectSite = true;
      ++i;
    } else {
      break;
    }
  }
  if (i >= argc) {
    Print(L"usage: script_host [--init bag|stream|none] [--url URL|--unreadable-url|--empty-url|--null-url] [--moniker URL] [--object-site] SCRIPT [ARGS...]");
    return 2;
  }
  std::wstring scriptPath = argv[i++];
  std::vector<std::wstring> args(argv + i, argv + argc);

  bool ok = false;
  std::wstring source = ReadUtf8(scriptPath, &ok);
  if (!ok) {
    Print(L"cannot read " + scriptPath);
    return 2;
  }

  IDispatch* control = nullptr;
  HRESULT hr = CreateControl(L"TESSARN.TessarnCtrl.1", init.c_str(), &control);
  if (FAILED(hr)) {
    wchar_t buf[64];
    swprintf(buf, 64, L"cannot create the control: 0x%08lx", static_cast<unsigned long>(hr));
    Print(buf);
    return 1;
  }
  if (sited && !SiteControl(control, page)) {
    Print(L"cannot site the control in the page");
    control->Release();
    return 1;
  }
  auto* host = new HostObject(args);
  host->SetUnsite([control] { UnsiteControl(control); });
  Site site(control, host);

  std::wstring ext = Extension(scriptPath);
  const wchar_t* language = _wcsicmp(ext.c_str(), L".vbs") == 0 ? L"VBScript" : L"JScript";
  CLSID engineClsid;
  IActiveScript* engine = nullptr;
  IActiveScriptParse* parse = nullptr;
  hr = CLSIDFromProgID(language, &engineClsid);
  if (SUCCEEDED(hr))
    hr = CoCreateInstance(engineClsid, nullptr, CLSCTX_INPROC_SERVER, kIidActiveScript,
                          reinterpret_cast<void**>(&engine));
  if (SUCCEEDED(hr)) hr = engine->QueryInterface(kIidActiveScriptParse, reinterpret_cast<void**>(&parse));
  if (SUCCEEDED(hr)) hr = parse->InitNew();
  if (SUCCEEDED(hr)) hr = engine->SetScriptSite(&site);
  if (SUCCEEDED(hr)) hr = engine->AddNamedItem(L"ctl", SCRIPTITEM_ISVISIBLE);
  if (SUCCEEDED(hr)) hr = engine->AddNamedItem(L"host", SCRIPTITEM_ISVISIBLE);
  if (SUCCEEDED(hr)) {
    EXCEPINFO info = {};
    hr = parse->ParseScriptText(source.c_str(), nullptr, nullptr, nullptr, 0, 0, SCRIPTTEXT_ISVISIBLE, nullptr, &info);
    if (SUCCEEDED(hr)) hr = engine->SetScriptState(SCRIPTSTATE_CONNECTED);
  }
  if (FAILED(hr) && host->Failures() == 0) {
    wchar_t buf[80];
    swprintf(buf, 80, L"script engine failed: 0x%08lx", static_cast<unsigned long>(hr));
    host->Fail(buf);
  }
  if (engine) engine->Close();
  if (parse) parse->Release();
  if (engine) engine->Release();
  control->Release();
  int failures = host->Failures();
  wchar_t summary[80];
  swprintf(summary, 80, L"%d passed, %d failed", host->Checks() - host->CheckFailures(), failures);
  Print(summary);
  host->Release();
  return failures == 0 ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (FAILED(CoInitialize(nullptr))) return 3;
  int rc = Run(argc, argv);
  CoUninitialize();
  return rc;
}
