#include "framework/ole_control.h"

#include <cstring>

#include "framework/module.h"
#include "framework/scoped_variant.h"
#include "framework/verb_enum.h"

namespace framework {
namespace {

// The persisted form in a stream: version, then the extent in HIMETRIC.
struct PersistedState {
  DWORD version;
  LONG extentX;
  LONG extentY;
};

// 100 x 50 pixels at 96 dpi, in HIMETRIC.
constexpr LONG kDefaultExtentX = 2646;
constexpr LONG kDefaultExtentY = 1323;

HRESULT ReadBagLong(IPropertyBag* bag, IErrorLog* log, const wchar_t* name, LONG* value) {
  ScopedVariant v;
  V_VT(v.Get()) = VT_I4;
  HRESULT hr = bag->Read(name, v.Get(), log);
  if (FAILED(hr)) return hr;
  if (V_VT(v.Get()) != VT_I4 && FAILED(VariantChangeType(v.Get(), v.Get(), 0, VT_I4))) return DISP_E_TYPEMISMATCH;
  *value = V_I4(v.Get());
  return S_OK;
}

HRESULT WriteBagLong(IPropertyBag* bag, const wchar_t* name, LONG value) {
  ScopedVariant v;
  V_VT(v.Get()) = VT_I4;
  V_I4(v.Get()) = value;
  return bag->Write(name, v.Get());
}

const wchar_t kContentsStream[] = L"Contents";

}  // namespace

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

HRESULT OleControl::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, m_desc.dispatchIid))
    *object = static_cast<IDispatch*>(this);
  else if (IsEqualIID(iid, IID_IProvideClassInfo) || IsEqualIID(iid, IID_IProvideClassInfo2))
    *object = static_cast<IProvideClassInfo2*>(this);
  else if (IsEqualIID(iid, IID_IPersist) || IsEqualIID(iid, IID_IPersistStreamInit))
    *object = static_cast<IPersistStreamInit*>(this);
  else if (IsEqualIID(iid, IID_IPersistPropertyBag))
    *object = static_cast<IPersistPropertyBag*>(this);
  else if (IsEqualIID(iid, IID_IPersistStorage))
    *object = static_cast<IPersistStorage*>(this);
  else if (IsEqualIID(iid, IID_IOleObject))
    *object = static_cast<IOleObject*>(this);
  else if (IsEqualIID(iid, IID_IOleControl))
    *object = static_cast<IOleControl*>(this);
  else if (IsEqualIID(iid, IID_IOleWindow) || IsEqualIID(iid, IID_IOleInPlaceObject))
    *object = static_cast<IOleInPlaceObject*>(this);
  else if (IsEqualIID(iid, IID_IOleInPlaceActiveObject))
    *object = static_cast<IOleInPlaceActiveObject*>(this);
  else if (IsEqualIID(iid, IID_IViewObject) || IsEqualIID(iid, IID_IViewObject2))
    *object = static_cast<IViewObject2*>(this);
  else if (IsEqualIID(iid, IID_ISpecifyPropertyPages))
    *object = static_cast<ISpecifyPropertyPages*>(this);
  else if (IsEqualIID(iid, IID_IConnectionPointContainer))
    *object = static_cast<IConnectionPointContainer*>(this);
  else if (IsEqualIID(iid, IID_IObjectWithSite))
    *object = static_cast<IObjectWithSite*>(this);
  else
    return E_NOINTERFACE;
  AddRef();
  return S_OK;
}

ULONG OleControl::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }

ULONG OleControl::Release() {
  LONG refs = InterlockedDecrement(&m_refs);
  if (refs == 0) delete this;
  return static_cast<ULONG>(refs);
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

// ---- Persistence -------------------------------------------------------

HRESULT OleControl::GetClassID(CLSID* clsid) {
  if (!clsid) return E_POINTER;
  *clsid = m_desc.clsid;
  return S_OK;
}

HRESULT OleControl::IsDirty() { return m_dirty ? S_OK : S_FALSE; }

HRESULT OleControl::Load(IStream* stream) {
  if (!stream) return E_POINTER;
  PersistedState state = {};
  ULONG read = 0;
  HRESULT hr = stream->Read(&state, sizeof(state), &read);
  if (FAILED(hr)) return hr;
  if (read < sizeof(state.version)) return STG_E_READFAULT;
  if (read == sizeof(state)) m_extent = SIZEL{state.extentX, state.extentY};
  m_initialized = true;
  m_dirty = false;
  return S_OK;
}

HRESULT OleControl::Save(IStream* stream, BOOL clearDirty) {
  if (!stream) return E_POINTER;
  PersistedState state = {m_desc.persistedVersion, m_extent.cx, m_extent.cy};
  HRESULT hr = stream->Write(&state, sizeof(state), nullptr);
  if (SUCCEEDED(hr) && clearDirty) m_dirty = false;
  return hr;
}

HRESULT OleControl::GetSizeMax(ULARGE_INTEGER* size) {
  if (!size) return E_POINTER;
  size->QuadPart = sizeof(PersistedState);
  return S_OK;
}

HRESULT OleControl::InitNew() {
  m_extent = SIZEL{kDefaultExtentX, kDefaultExtentY};
  m_initialized = true;
  m_dirty = false;
  return S_OK;
}

HRESULT OleControl::Load(IPropertyBag* bag, IErrorLog* log) {
  if (!bag) return E_POINTER;
  LONG value = 0;
  // Every value is optional: a page's <object> tag usually has none.
  if (SUCCEEDED(ReadBagLong(bag, log, L"_ExtentX", &value))) m_extent.cx = value;
  if (SUCCEEDED(ReadBagLong(bag, log, L"_ExtentY", &value))) m_extent.cy = value;
  m_initialized = true;
  m_dirty = false;
  return S_OK;
}

HRESULT OleControl::Save(IPropertyBag* bag, BOOL clearDirty, BOOL saveAll) {
  if (!bag) return E_POINTER;
  HRESULT hr = WriteBagLong(bag, L"_Version", static_cast<LONG>(m_desc.persistedVersion));
  if (SUCCEEDED(hr)) hr = WriteBagLong(bag, L"_ExtentX", m_extent.cx);
  if (SUCCEEDED(hr)) hr = WriteBagLong(bag, L"_ExtentY", m_extent.cy);
  if (SUCCEEDED(hr)) hr = WriteBagLong(bag, L"_StockProps", 0);
  if (SUCCEEDED(hr) && clearDirty) m_dirty = false;
  return hr;
}

HRESULT OleControl::InitNew(IStorage* storage) {
  if (!storage) return E_POINTER;
  return InitNew();
}

HRESULT OleControl::Load(IStorage* storage) {
  if (!storage) return E_POINTER;
  ComPtr<IStream> stream;
  HRESULT hr = storage->OpenStream(kContentsStream, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, stream.Receive());
  if (FAILED(hr)) return hr;
  return Load(stream.Get());
}

HRESULT OleControl::Save(IStorage* storage, BOOL sameAsLoad) {
  if (!storage) return E_POINTER;
  ComPtr<IStream> stream;
  HRESULT hr = storage->CreateStream(kContentsStream, STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE, 0, 0,
                                     stream.Receive());
  if (FAILED(hr)) return hr;
  return Save(stream.Get(), TRUE);
}

HRESULT OleControl::SaveCompleted(IStorage*) { return S_OK; }
HRESULT OleControl::HandsOffStorage() { return S_OK; }

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
  LPOLESTR name = nullptr;
  OleRegGetUserType(m_desc.clsid, USERCLASSTYPE_SHORT, &name);
  HRESULT hr = OleCreatePropertyFrame(parent, 0, 0, name, 1, &self, m_desc.propertyPageCount,
                                const_cast<CLSID*>(m_desc.propertyPages), LOCALE_USER_DEFAULT, 0, nullptr);
  CoTaskMemFree(name);
  return hr;
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

// ---- IViewObject2 ------------------------------------------------------

HRESULT OleControl::Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC drawDc, LPCRECTL bounds,
                         LPCRECTL, BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (!drawDc || !bounds) return E_INVALIDARG;
  RECT rect = {bounds->left, bounds->top, bounds->right, bounds->bottom};
  OnDraw(drawDc, rect);
  return S_OK;
}

HRESULT OleControl::GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE** colors) {
  if (colors) *colors = nullptr;
  return S_FALSE;
}

HRESULT OleControl::Freeze(DWORD, LONG, void*, DWORD*) { return E_NOTIMPL; }
HRESULT OleControl::Unfreeze(DWORD) { return E_NOTIMPL; }

HRESULT OleControl::SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) {
  m_viewAspects = aspects;
  m_viewFlags = flags;
  m_viewSink = ComPtr<IAdviseSink>(sink);
  return S_OK;
}

HRESULT OleControl::GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) {
  if (aspects) *aspects = m_viewAspects;
  if (flags) *flags = m_viewFlags;
  if (sink) {
    *sink = m_viewSink.Get();
    if (*sink) (*sink)->AddRef();
  }
  return S_OK;
}

HRESULT OleControl::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size) {
  return GetExtent(aspect, size);
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
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
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
