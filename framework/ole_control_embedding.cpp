// IOleObject, IOleControl and the in-place interfaces: what a container
// uses to embed the control, activate it in place and show its verbs.
#include "certutil/crypt_handles.h"
#include "framework/ole_control.h"

#include "framework/verb_enum.h"

namespace framework {

// ---- IOleObject --------------------------------------------------------

HRESULT OleControl::SetClientSite(IOleClientSite* site) {
  m_site = ComPtr<IOleClientSite>(site);
  OnSiteChanged();
  return S_OK;
}

HRESULT OleControl::GetClientSite(IOleClientSite** site) {
  if (!site) return E_POINTER;
  *site = m_site.Get();
  if (*site) (*site)->AddRef();
  return S_OK;
}

HRESULT OleControl::SetHostNames(LPCOLESTR, LPCOLESTR) { return S_OK; }

HRESULT OleControl::Close(DWORD) {
  InPlaceDeactivate();
  m_eventPoint.DropAll();
  m_propertyNotifyPoint.DropAll();
  m_viewSink.Reset();
  if (m_adviseHolder) m_adviseHolder->SendOnClose();
  return S_OK;
}

HRESULT OleControl::SetMoniker(DWORD, IMoniker*) { return E_NOTIMPL; }

HRESULT OleControl::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
  if (moniker) *moniker = nullptr;
  return E_NOTIMPL;
}

HRESULT OleControl::InitFromData(IDataObject*, BOOL, DWORD) { return E_NOTIMPL; }

HRESULT OleControl::GetClipboardData(DWORD, IDataObject** data) {
  if (data) *data = nullptr;
  return E_NOTIMPL;
}

HRESULT OleControl::DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent, LPCRECT) {
  switch (verb) {
    case OLEIVERB_PROPERTIES:
      return ShowProperties(parent);
    case OLEIVERB_PRIMARY:
    case OLEIVERB_SHOW:
    case OLEIVERB_INPLACEACTIVATE:
    case OLEIVERB_UIACTIVATE: {
      if (m_inPlaceActive) return S_OK;
      ComPtr<IOleInPlaceSite> inPlace;
      IOleClientSite* client = site ? site : m_site.Get();
      if (client && SUCCEEDED(client->QueryInterface(IID_IOleInPlaceSite, inPlace.ReceiveVoid()))) {
        if (inPlace->CanInPlaceActivate() != S_OK) return E_FAIL;
        HRESULT hr = inPlace->OnInPlaceActivate();
        if (FAILED(hr)) return hr;
        m_inPlaceActive = true;
      }
      return S_OK;
    }
    case OLEIVERB_HIDE:
      return S_OK;
    case OLEIVERB_OPEN:
    case OLEIVERB_DISCARDUNDOSTATE:
      return E_NOTIMPL;
    default:
      return verb > 0 ? OLEOBJ_S_INVALIDVERB : E_NOTIMPL;
  }
}

HRESULT OleControl::ShowProperties(HWND parent) {
  if (m_desc.propertyPageCount == 0) return S_OK;
  IUnknown* self = static_cast<IDispatch*>(this);
  // The frame is captioned with the control's user type name.
  ScopedCoTaskMem<OLECHAR> name;
  OleRegGetUserType(m_desc.clsid, USERCLASSTYPE_SHORT, name.Receive());
  return OleCreatePropertyFrame(parent, 0, 0, name.Get(), 1, &self, m_desc.propertyPageCount,
                                const_cast<CLSID*>(m_desc.propertyPages), LOCALE_USER_DEFAULT, 0, nullptr);
}

// The verbs DoVerb carries out for a container's menu: Properties, which
// opens the property page, when the control has one. The registry holds no
// verbs for the class, so they are not read from there.
HRESULT OleControl::EnumVerbs(IEnumOLEVERB** verbs) {
  if (!verbs) return E_POINTER;
  static const OLEVERB kVerbs[] = {
      {OLEIVERB_PROPERTIES, const_cast<LPOLESTR>(L"&Properties..."), MF_STRING | MF_ENABLED, OLEVERBATTRIB_ONCONTAINERMENU},
  };
  return CreateVerbEnumerator(kVerbs, m_desc.propertyPageCount ? 1 : 0, verbs);
}
HRESULT OleControl::Update() { return S_OK; }
HRESULT OleControl::IsUpToDate() { return S_OK; }

HRESULT OleControl::GetUserClassID(CLSID* clsid) { return GetClassID(clsid); }

HRESULT OleControl::GetUserType(DWORD form, LPOLESTR* name) { return OleRegGetUserType(m_desc.clsid, form, name); }

HRESULT OleControl::SetExtent(DWORD aspect, SIZEL* size) {
  if (!size) return E_POINTER;
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  m_extent = *size;
  m_dirty = true;
  return S_OK;
}

HRESULT OleControl::GetExtent(DWORD aspect, SIZEL* size) {
  if (!size) return E_POINTER;
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  *size = m_extent;
  return S_OK;
}

HRESULT OleControl::Advise(IAdviseSink* sink, DWORD* connection) {
  if (!connection) return E_POINTER;
  if (!m_adviseHolder) {
    HRESULT hr = CreateOleAdviseHolder(m_adviseHolder.Receive());
    if (FAILED(hr)) return hr;
  }
  return m_adviseHolder->Advise(sink, connection);
}

HRESULT OleControl::Unadvise(DWORD connection) {
  if (!m_adviseHolder) return OLE_E_NOCONNECTION;
  return m_adviseHolder->Unadvise(connection);
}

HRESULT OleControl::EnumAdvise(IEnumSTATDATA** advise) {
  if (!advise) return E_POINTER;
  *advise = nullptr;
  if (!m_adviseHolder) return S_OK;
  return m_adviseHolder->EnumAdvise(advise);
}

HRESULT OleControl::GetMiscStatus(DWORD, DWORD* status) {
  if (!status) return E_POINTER;
  *status = m_desc.miscStatus;
  return S_OK;
}

HRESULT OleControl::SetColorScheme(LOGPALETTE*) { return E_NOTIMPL; }

// ---- IOleControl -------------------------------------------------------

HRESULT OleControl::GetControlInfo(CONTROLINFO* info) {
  if (!info) return E_POINTER;
  info->cb = sizeof(CONTROLINFO);
  info->hAccel = nullptr;
  info->cAccel = 0;
  info->dwFlags = 0;
  return S_OK;
}

HRESULT OleControl::OnMnemonic(MSG*) { return E_NOTIMPL; }
HRESULT OleControl::OnAmbientPropertyChange(DISPID) { return S_OK; }
HRESULT OleControl::FreezeEvents(BOOL) { return S_OK; }

// ---- In-place ----------------------------------------------------------

HRESULT OleControl::GetWindow(HWND* hwnd) {
  if (!hwnd) return E_POINTER;
  *hwnd = nullptr;
  return E_FAIL;  // windowless: the control is invisible at run time
}

HRESULT OleControl::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }

HRESULT OleControl::InPlaceDeactivate() {
  if (!m_inPlaceActive) return S_OK;
  m_inPlaceActive = false;
  ComPtr<IOleInPlaceSite> inPlace;
  if (m_site && SUCCEEDED(m_site->QueryInterface(IID_IOleInPlaceSite, inPlace.ReceiveVoid())))
    inPlace->OnInPlaceDeactivate();
  return S_OK;
}

HRESULT OleControl::UIDeactivate() { return S_OK; }
HRESULT OleControl::SetObjectRects(LPCRECT, LPCRECT) { return S_OK; }
HRESULT OleControl::ReactivateAndUndo() { return INPLACE_E_NOTUNDOABLE; }
HRESULT OleControl::TranslateAccelerator(LPMSG) { return S_FALSE; }
HRESULT OleControl::OnFrameWindowActivate(BOOL) { return S_OK; }
HRESULT OleControl::OnDocWindowActivate(BOOL) { return S_OK; }
HRESULT OleControl::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) { return S_OK; }
HRESULT OleControl::EnableModeless(BOOL) { return S_OK; }
}  // namespace framework
