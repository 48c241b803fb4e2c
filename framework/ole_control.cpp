#include "framework/ole_control.h"

#include <cstring>
#include <new>

#include "framework/exception_boundary.h"
#include "framework/module.h"

namespace framework {

OleControl::OleControl(const ControlDescription& description, const DispatchTable& table)
    : m_desc(description),
      m_table(table),
      m_extent{kDefaultExtentX, kDefaultExtentY},
      m_eventPoint(static_cast<IConnectionPointContainer*>(this), description.eventIid),
      m_propertyNotifyPoint(static_cast<IConnectionPointContainer*>(this), IID_IPropertyNotifySink) {
  LockModule();
}

OleControl::~OleControl() { UnlockModule(); }


// ---- IUnknown ----------------------------------------------------------

// The interfaces a caller may ask for, and which base answers each.
const InterfaceTable& OleControl::Interfaces() {
  static const InterfaceEntry kRows[] = {
      InterfaceRow<OleControl, IDispatch>(IID_IUnknown),
      InterfaceRow<OleControl, IDispatch>(IID_IDispatch),
      InterfaceRow<OleControl, IProvideClassInfo2>(IID_IProvideClassInfo),
      InterfaceRow<OleControl, IProvideClassInfo2>(IID_IProvideClassInfo2),
      InterfaceRow<OleControl, IPersistStreamInit>(IID_IPersist),
      InterfaceRow<OleControl, IPersistStreamInit>(IID_IPersistStreamInit),
      InterfaceRow<OleControl, IPersistPropertyBag>(IID_IPersistPropertyBag),
      InterfaceRow<OleControl, IPersistStorage>(IID_IPersistStorage),
      InterfaceRow<OleControl, IOleObject>(IID_IOleObject),
      InterfaceRow<OleControl, IOleControl>(IID_IOleControl),
      InterfaceRow<OleControl, IOleInPlaceObject>(IID_IOleWindow),
      InterfaceRow<OleControl, IOleInPlaceObject>(IID_IOleInPlaceObject),
      InterfaceRow<OleControl, IOleInPlaceActiveObject>(IID_IOleInPlaceActiveObject),
      InterfaceRow<OleControl, IViewObject2>(IID_IViewObject),
      InterfaceRow<OleControl, IViewObject2>(IID_IViewObject2),
      InterfaceRow<OleControl, ISpecifyPropertyPages>(IID_ISpecifyPropertyPages),
      InterfaceRow<OleControl, IConnectionPointContainer>(IID_IConnectionPointContainer),
      InterfaceRow<OleControl, IObjectWithSite>(IID_IObjectWithSite),
  };
  static const InterfaceTable kTable{kRows, sizeof(kRows) / sizeof(kRows[0])};
  return kTable;
}

HRESULT OleControl::QueryInterface(REFIID iid, void** object) {
  // The control's own dispatch interface is known only at run time: it is
  // answered as IDispatch.
  const IID& asked = IsEqualIID(iid, m_desc.dispatchIid) ? IID_IDispatch : iid;
  const InterfaceTable& table = Interfaces();
  return QueryFromTable(this, table.rows, table.count, asked, object);
}

// ---- IDispatch ---------------------------------------------------------

HRESULT OleControl::LoadTypeLib(LCID lcid, ITypeLib** lib) const {
  return LoadRegTypeLib(m_desc.libid, m_desc.libMajor, m_desc.libMinor, lcid, lib);
}

HRESULT OleControl::LoadTypeInfo(const GUID& guid, LCID lcid, ITypeInfo** info) const {
  ComPtr<ITypeLib> lib;
  HRESULT hr = LoadTypeLib(lcid, lib.Receive());
  if (FAILED(hr)) return hr;
  return lib->GetTypeInfoOfGuid(guid, info);
}

HRESULT OleControl::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT OleControl::GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) {
  if (!info) return E_POINTER;
  *info = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  return LoadTypeInfo(m_desc.dispatchIid, lcid, info);
}

HRESULT OleControl::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) {
  if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  if (!names || !ids) return E_POINTER;
  if (lcid != 0) {
    ComPtr<ITypeInfo> info;
    if (SUCCEEDED(LoadTypeInfo(m_desc.dispatchIid, lcid, info.Receive())))
      return info->GetIDsOfNames(names, count, ids);
  }
  return NamesFromTable(m_table, names, count, ids);
}

HRESULT OleControl::Invoke(DISPID dispid, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                           VARIANT* result, EXCEPINFO* excepInfo, UINT* argError) {
  if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  if (!m_initialized) return E_UNEXPECTED;
  AddRef();  // a method may make the container release us
  HRESULT hr = S_OK;
  bool refused = false;
  // Only a call that would reach its member is gated: one that the table
  // refuses keeps the table's answer (unknown member, wrong argument count).
  const DispatchEntry* entry = m_table.Find(dispid);
  bool wellFormed = entry && (flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET)) &&
                    (params ? params->cNamedArgs == 0 && params->cArgs == static_cast<UINT>(entry->argCount)
                           : entry->argCount == 0);
  if (wellFormed) hr = GateCall(*entry, result, &refused);
  if (SUCCEEDED(hr) && !refused)
    hr = InvokeFromTable(m_table, this, dispid, flags, params, result, excepInfo, argError);
  Release();
  return hr;
}

// ---- IProvideClassInfo2 --------------------------------------------------

HRESULT OleControl::GetClassInfo(ITypeInfo** info) {
  if (!info) return E_POINTER;
  *info = nullptr;
  return LoadTypeInfo(m_desc.clsid, 0, info);
}

HRESULT OleControl::GetGUID(DWORD kind, GUID* guid) {
  if (!guid) return E_POINTER;
  if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) {
    *guid = GUID_NULL;
    return E_INVALIDARG;
  }
  *guid = m_desc.eventIid;
  return S_OK;
}

// ---- Property pages and connection points ------------------------------

HRESULT OleControl::GetPages(CAUUID* pages) {
  if (!pages) return E_POINTER;
  pages->cElems = 0;
  pages->pElems = nullptr;
  if (m_desc.propertyPageCount == 0) return S_OK;
  auto* elems = static_cast<GUID*>(CoTaskMemAlloc(sizeof(GUID) * m_desc.propertyPageCount));
  if (!elems) return E_OUTOFMEMORY;
  memcpy(elems, m_desc.propertyPages, sizeof(GUID) * m_desc.propertyPageCount);
  pages->cElems = m_desc.propertyPageCount;
  pages->pElems = elems;
  return S_OK;
}

HRESULT OleControl::EnumConnectionPoints(IEnumConnectionPoints** points) {
  if (!points) return E_POINTER;
  *points = nullptr;
  try {
    std::vector<ComPtr<IConnectionPoint>> all{ComPtr<IConnectionPoint>(&m_eventPoint),
                                              ComPtr<IConnectionPoint>(&m_propertyNotifyPoint)};
    return CreateConnectionPointEnum(all, points);
  } catch (...) {
    return ResultFromCaughtException();
  }
}

HRESULT OleControl::FindConnectionPoint(REFIID iid, IConnectionPoint** point) {
  if (!point) return E_POINTER;
  *point = nullptr;
  ConnectionPoint* found = nullptr;
  if (IsEqualIID(iid, m_eventPoint.Iid())) found = &m_eventPoint;
  else if (IsEqualIID(iid, m_propertyNotifyPoint.Iid())) found = &m_propertyNotifyPoint;
  if (!found) return CONNECT_E_NOCONNECTION;
  found->AddRef();
  *point = found;
  return S_OK;
}

// ---- IObjectWithSite ----------------------------------------------------

HRESULT OleControl::SetSite(IUnknown* site) {
  m_objectSite = ComPtr<IUnknown>(site);
  OnSiteChanged();
  return S_OK;
}

HRESULT OleControl::GetSite(REFIID iid, void** site) {
  if (!site) return E_POINTER;
  *site = nullptr;
  if (!m_objectSite) return E_FAIL;
  return m_objectSite->QueryInterface(iid, site);
}

}  // namespace framework
