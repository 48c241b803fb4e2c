#include "bridge/host/client_site.h"

#include <urlmon.h>

#include <new>

namespace bridge {

HRESULT ClientSite::Create(const std::wstring& origin, ClientSite** site) {
  *site = nullptr;
  ComPtr<IMoniker> moniker;
  HRESULT hr = CreateURLMonikerEx(nullptr, origin.c_str(), moniker.Receive(), URL_MK_UNIFORM);
  if (FAILED(hr)) return hr;
  if (!moniker) return E_UNEXPECTED;
  ClientSite* made = new (std::nothrow) ClientSite();
  if (!made) return E_OUTOFMEMORY;
  made->m_moniker = moniker;
  *site = made;
  return S_OK;
}

const framework::InterfaceTable& ClientSite::Interfaces() {
  static const framework::InterfaceEntry kRows[] = {
      framework::InterfaceRow<ClientSite, IOleClientSite>(IID_IUnknown),
      framework::InterfaceRow<ClientSite, IOleClientSite>(IID_IOleClientSite),
  };
  static const framework::InterfaceTable kTable{kRows, sizeof(kRows) / sizeof(kRows[0])};
  return kTable;
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
