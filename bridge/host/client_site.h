#pragma once
// The site the host gives each control: it stands for a page of one origin.
// Its container moniker is a URL moniker of the origin the browser reported,
// which is how the control's site lock learns whom it serves; it offers no
// document (GetContainer fails), so that the moniker is the only URL there
// is.
#include <windows.h>
#include <ole2.h>

#include <string>

#include "framework/com_object.h"
#include "certutil/crypt_handles.h"

namespace bridge {

class ClientSite : public framework::ComObject<ClientSite, IOleClientSite> {
 public:
  // A new site with one reference, or an error when the origin makes no URL
  // moniker.
  static HRESULT Create(const std::wstring& origin, ClientSite** site);

  static const framework::InterfaceTable& Interfaces();

  HRESULT STDMETHODCALLTYPE SaveObject() override;
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD assign, DWORD which, IMoniker** moniker) override;
  HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** container) override;
  HRESULT STDMETHODCALLTYPE ShowObject() override;
  HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL show) override;
  HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override;

 private:
  ClientSite() = default;
  ~ClientSite() override = default;

  ComPtr<IMoniker> m_moniker;
};

}  // namespace bridge
