#include "bridge/host/control_pool.h"

#include <ocidl.h>

#include "bridge/host/client_site.h"
#include "control/guids.h"

namespace bridge {

namespace {

using DllGetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using DllCanUnloadNowFn = HRESULT(STDAPICALLTYPE*)();
using HoldsDenialsFn = HRESULT(STDAPICALLTYPE*)();

// The folder this program was started from, with a trailing backslash.
std::wstring OwnFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
    if (n == 0) return L"";
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    if (path.size() >= 32768) return L"";
    path.resize(path.size() * 2);
  }
  size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? L"" : path.substr(0, slash + 1);
}

}  // namespace

ControlPool::~ControlPool() {
  CloseAll();
  m_factory.Reset();
  // The module goes only when it says nothing of it is in use; otherwise it
  // stays until the process ends.
  if (m_module) {
    auto canUnload = reinterpret_cast<DllCanUnloadNowFn>(
        reinterpret_cast<void*>(GetProcAddress(m_module.Get(), "DllCanUnloadNow")));
    if (!canUnload || canUnload() != S_OK) {
      HMODULE kept = m_module.Detach();  // in use: never unloaded under its objects
      (void)kept;
    }
  }
}

HRESULT ControlPool::LoadFactory(std::wstring* what) {
  if (m_factory) return S_OK;
  // The module beside the host first: the host and the control it was
  // installed with belong together.
  std::wstring folder = OwnFolder();
  if (!m_module && !folder.empty()) {
    std::wstring path = folder + L"Tessarn.ocx";
    m_module.Reset(LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
  }
  if (m_module) {
    auto getClassObject = reinterpret_cast<DllGetClassObjectFn>(
        reinterpret_cast<void*>(GetProcAddress(m_module.Get(), "DllGetClassObject")));
    if (getClassObject &&
        SUCCEEDED(getClassObject(tessarn::kClsidControl, IID_IClassFactory, m_factory.ReceiveVoid())) && m_factory)
      return S_OK;
  }
  // Otherwise the registered control of this bitness.
  HRESULT hr = CoGetClassObject(tessarn::kClsidControl, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                m_factory.ReceiveVoid());
  if (FAILED(hr)) {
    *what = L"The Tessarn control was found neither beside the host nor registered.";
    return hr;
  }
  return S_OK;
}

HRESULT ControlPool::CreateSited(const std::wstring& origin, ComPtr<IDispatch>* control,
                                 std::wstring* what) {
  HRESULT hr = LoadFactory(what);
  if (FAILED(hr)) return hr;
  ClientSite* rawSite = nullptr;
  if (FAILED(hr = ClientSite::Create(origin, &rawSite))) {
    *what = L"The origin is not a URL.";
    return hr;
  }
  ComPtr<IOleClientSite> site;
  site.Attach(rawSite);

  ComPtr<IUnknown> object;
  if (FAILED(hr = m_factory->CreateInstance(nullptr, IID_IUnknown, object.ReceiveVoid()))) {
    *what = L"The Tessarn control could not be created.";
    return hr;
  }
  // As a page container does: a new control's state first, then its site
  // (or the other way round when the control asks for its site first).
  ComPtr<IOleObject> ole;
  if (FAILED(hr = object->QueryInterface(IID_IOleObject, ole.ReceiveVoid()))) {
    *what = L"The control offers no IOleObject.";
    return hr;
  }
  DWORD misc = 0;
  ole->GetMiscStatus(DVASPECT_CONTENT, &misc);
  bool siteFirst = (misc & OLEMISC_SETCLIENTSITEFIRST) != 0;
  if (siteFirst && FAILED(hr = ole->SetClientSite(site.Get()))) {
    *what = L"The control refused its site.";
    return hr;
  }
  ComPtr<IPersistStreamInit> persist;
  if (SUCCEEDED(object->QueryInterface(IID_IPersistStreamInit, persist.ReceiveVoid())) &&
      FAILED(hr = persist->InitNew())) {
    *what = L"The control could not be initialised.";
    if (siteFirst) ole->SetClientSite(nullptr);
    return hr;
  }
  if (!siteFirst && FAILED(hr = ole->SetClientSite(site.Get()))) {
    *what = L"The control refused its site.";
    return hr;
  }
  if (FAILED(hr = object->QueryInterface(IID_IDispatch, control->ReceiveVoid()))) {
    *what = L"The control offers no IDispatch.";
    ole->Close(OLECLOSE_NOSAVE);
    ole->SetClientSite(nullptr);
    return hr;
  }
  return S_OK;
}

bool ControlPool::HoldsDenials() {
  if (!m_module) return false;  // a registered control elsewhere: it cannot be asked
  auto holds = reinterpret_cast<HoldsDenialsFn>(
      reinterpret_cast<void*>(GetProcAddress(m_module.Get(), "TessarnHoldsDenials")));
  return holds && holds() == S_OK;
}

HRESULT ControlPool::ForPage(const std::wstring& origin, const std::wstring& document, ComPtr<IDispatch>* control,
                             std::wstring* what) {
  for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
    if (it->origin == origin && it->document == document) {
      m_entries.splice(m_entries.begin(), m_entries, it);
      *control = m_entries.front().control;
      return S_OK;
    }
  }
  ComPtr<IDispatch> made;
  HRESULT hr = CreateSited(origin, &made, what);
  if (FAILED(hr)) return hr;
  if (m_entries.size() >= kMaxControls) {
    Close(m_entries.back());
    m_entries.pop_back();
  }
  m_entries.push_front(Entry{origin, document, made});
  *control = made;
  return S_OK;
}

void ControlPool::Close(Entry& entry) {
  ComPtr<IOleObject> ole;
  if (entry.control && SUCCEEDED(entry.control->QueryInterface(IID_IOleObject, ole.ReceiveVoid()))) {
    ole->Close(OLECLOSE_NOSAVE);
    ole->SetClientSite(nullptr);
  }
  entry.control.Reset();
}

void ControlPool::CloseAll() {
  for (Entry& entry : m_entries) Close(entry);
  m_entries.clear();
}

}  // namespace bridge
