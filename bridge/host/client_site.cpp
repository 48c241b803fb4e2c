#include "bridge/host/client_site.h"

#include <urlmon.h>

#include <new>

namespace bridge {

HRESULT ClientSite::Create(const std::wstring& origin, ClientSite** site) {
  *site = nullptr;
  framework::ComPtr<IMoniker> moniker;
  HRESULT hr = CreateURLMonikerEx(nullptr, origin.c_str(), moniker.Receive(), URL_MK_UNIFORM);
  if (FAILED(hr)) return hr;
  if (!moniker) return E_UNEXPECTED;
  ClientSite* made = new (std::nothrow) ClientSite();
  if (!made) return E_OUTOFMEMORY;
  made->m_moniker = moniker;
  *site = made;
  return S_OK;
}

HRESULT ClientSite::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleClientSite)) {
    *object = static_cast<IOleClientSite*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG ClientSite::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }

ULONG ClientSite::Release() {
  LONG left = InterlockedDecrement(&m_refs);
  if (left == 0) delete this;
  return static_cast<ULONG>(left);
}

HRESULT ClientSite::SaveObject() { return E_NOTIMPL; }

HRESULT ClientSite::GetMoniker(DWORD, DWORD which, IMoniker** moniker) {
  if (!moniker) return E_POINTER;
  *moniker = nullptr;
  // The container is the page; the object's full moniker names the same
  // page, since the control has no moniker of its own within it.
  if (which != OLEWHICHMK_CONTAINER && which != OLEWHICHMK_OBJFULL) return E_FAIL;
  *moniker = m_moniker.Get();
  (*moniker)->AddRef();
  return S_OK;
}

HRESULT ClientSite::GetContainer(IOleContainer** container) {
  if (container) *container = nullptr;
  return E_NOINTERFACE;
}

HRESULT ClientSite::ShowObject() { return S_OK; }
HRESULT ClientSite::OnShowWindow(BOOL) { return S_OK; }
HRESULT ClientSite::RequestNewObjectLayout() { return E_NOTIMPL; }

}  // namespace bridge
