#pragma once
#include <windows.h>
#include <ocidl.h>

#include <vector>

#include "framework/com_object.h"
#include "certutil/crypt_handles.h"

namespace framework {

// A property page shown from a dialog resource (a child dialog without
// caption) with its caption from a string resource.
class PropertyPage : public ComObject<PropertyPage, IPropertyPage2> {
 public:
  PropertyPage(UINT dialogId, UINT captionId);
  virtual ~PropertyPage();
  PropertyPage(const PropertyPage&) = delete;
  PropertyPage& operator=(const PropertyPage&) = delete;

  // IUnknown: the interface table; the reference count is ComObject's.
  static const InterfaceTable& Interfaces();

  HRESULT STDMETHODCALLTYPE SetPageSite(IPropertyPageSite* site) override;
  HRESULT STDMETHODCALLTYPE Activate(HWND parent, LPCRECT rect, BOOL modal) override;
  HRESULT STDMETHODCALLTYPE Deactivate() override;
  HRESULT STDMETHODCALLTYPE GetPageInfo(PROPPAGEINFO* info) override;
  HRESULT STDMETHODCALLTYPE SetObjects(ULONG count, IUnknown** objects) override;
  HRESULT STDMETHODCALLTYPE Show(UINT cmd) override;
  HRESULT STDMETHODCALLTYPE Move(LPCRECT rect) override;
  HRESULT STDMETHODCALLTYPE IsPageDirty() override;
  HRESULT STDMETHODCALLTYPE Apply() override;
  HRESULT STDMETHODCALLTYPE Help(LPCOLESTR helpDir) override;
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG* msg) override;
  HRESULT STDMETHODCALLTYPE EditProperty(DISPID dispid) override;

  HWND Window() const { return m_hwnd; }

 protected:
  // The page's dialog was made; it fills its fields now.
  virtual void OnInitDialog(HWND dialog) {}
  // A command from one of the dialog's controls; true when handled.
  virtual bool OnCommand(HWND dialog, WORD id, WORD code) { return false; }

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
  SIZE DialogSize() const;

  UINT m_dialogId;
  UINT m_captionId;
  HWND m_hwnd = nullptr;
  ComPtr<IPropertyPageSite> m_site;
  std::vector<ComPtr<IUnknown>> m_objects;
};

}  // namespace framework
