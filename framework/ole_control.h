#pragma once
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include "framework/com_object.h"
#include "certutil/crypt_handles.h"
#include "framework/connection_point.h"
#include "framework/dispatch_table.h"

namespace framework {

// What a concrete control tells the framework about itself.
struct ControlDescription {
  CLSID clsid;
  GUID libid;
  WORD libMajor;
  WORD libMinor;
  IID dispatchIid;
  IID eventIid;
  DWORD miscStatus;
  const CLSID* propertyPages;
  ULONG propertyPageCount;
  DWORD persistedVersion;  // the only value the control persists
};

// The COM side of an invisible ActiveX control: dispatch over a method
// table, persistence (stream, property bag, storage), the OLE embedding and
// in-place interfaces a web page container uses, drawing for design time,
// property pages and an event connection point that never fires. The
// members are defined by concern: ole_control.cpp (identity, dispatch, class
// info, property pages, connection points, object site),
// ole_control_persistence.cpp, ole_control_embedding.cpp (IOleObject,
// IOleControl, in-place activation) and ole_control_view.cpp (drawing).
class OleControl : public ComObject<OleControl, IDispatch, IProvideClassInfo2, IPersistStreamInit,
                                     IPersistPropertyBag, IPersistStorage, IOleObject, IOleControl,
                                     IOleInPlaceObject, IOleInPlaceActiveObject, IViewObject2,
                                     ISpecifyPropertyPages, IConnectionPointContainer, IObjectWithSite> {
 public:
  OleControl(const ControlDescription& description, const DispatchTable& table);
  virtual ~OleControl();

  // IUnknown: the interface table; the reference count is ComObject's.
  static const InterfaceTable& Interfaces();
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;

  // IDispatch
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID dispid, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* excepInfo, UINT* argError) override;

  // IProvideClassInfo2
  HRESULT STDMETHODCALLTYPE GetClassInfo(ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetGUID(DWORD kind, GUID* guid) override;

  // IPersist (shared by the three persistence interfaces)
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) override;

  // IPersistStreamInit
  HRESULT STDMETHODCALLTYPE IsDirty() override;
  HRESULT STDMETHODCALLTYPE Load(IStream* stream) override;
  HRESULT STDMETHODCALLTYPE Save(IStream* stream, BOOL clearDirty) override;
  HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER* size) override;
  HRESULT STDMETHODCALLTYPE InitNew() override;

  // IPersistPropertyBag
  HRESULT STDMETHODCALLTYPE Load(IPropertyBag* bag, IErrorLog* log) override;
  HRESULT STDMETHODCALLTYPE Save(IPropertyBag* bag, BOOL clearDirty, BOOL saveAll) override;

  // IPersistStorage
  HRESULT STDMETHODCALLTYPE InitNew(IStorage* storage) override;
  HRESULT STDMETHODCALLTYPE Load(IStorage* storage) override;
  HRESULT STDMETHODCALLTYPE Save(IStorage* storage, BOOL sameAsLoad) override;
  HRESULT STDMETHODCALLTYPE SaveCompleted(IStorage* storage) override;
  HRESULT STDMETHODCALLTYPE HandsOffStorage() override;

  // IOleObject
  HRESULT STDMETHODCALLTYPE SetClientSite(IOleClientSite* site) override;
  HRESULT STDMETHODCALLTYPE GetClientSite(IOleClientSite** site) override;
  HRESULT STDMETHODCALLTYPE SetHostNames(LPCOLESTR app, LPCOLESTR object) override;
  HRESULT STDMETHODCALLTYPE Close(DWORD saveOption) override;
  HRESULT STDMETHODCALLTYPE SetMoniker(DWORD which, IMoniker* moniker) override;
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD assign, DWORD which, IMoniker** moniker) override;
  HRESULT STDMETHODCALLTYPE InitFromData(IDataObject* data, BOOL creation, DWORD reserved) override;
  HRESULT STDMETHODCALLTYPE GetClipboardData(DWORD reserved, IDataObject** data) override;
  HRESULT STDMETHODCALLTYPE DoVerb(LONG verb, LPMSG msg, IOleClientSite* site, LONG index, HWND parent,
                                   LPCRECT rect) override;
  HRESULT STDMETHODCALLTYPE EnumVerbs(IEnumOLEVERB** verbs) override;
  HRESULT STDMETHODCALLTYPE Update() override;
  HRESULT STDMETHODCALLTYPE IsUpToDate() override;
  HRESULT STDMETHODCALLTYPE GetUserClassID(CLSID* clsid) override;
  HRESULT STDMETHODCALLTYPE GetUserType(DWORD form, LPOLESTR* name) override;
  HRESULT STDMETHODCALLTYPE SetExtent(DWORD aspect, SIZEL* size) override;
  HRESULT STDMETHODCALLTYPE GetExtent(DWORD aspect, SIZEL* size) override;
  HRESULT STDMETHODCALLTYPE Advise(IAdviseSink* sink, DWORD* connection) override;
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD connection) override;
  HRESULT STDMETHODCALLTYPE EnumAdvise(IEnumSTATDATA** advise) override;
  HRESULT STDMETHODCALLTYPE GetMiscStatus(DWORD aspect, DWORD* status) override;
  HRESULT STDMETHODCALLTYPE SetColorScheme(LOGPALETTE* palette) override;

  // IOleControl
  HRESULT STDMETHODCALLTYPE GetControlInfo(CONTROLINFO* info) override;
  HRESULT STDMETHODCALLTYPE OnMnemonic(MSG* msg) override;
  HRESULT STDMETHODCALLTYPE OnAmbientPropertyChange(DISPID dispid) override;
  HRESULT STDMETHODCALLTYPE FreezeEvents(BOOL freeze) override;

  // IOleWindow (shared by the two in-place interfaces)
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* hwnd) override;
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL enter) override;

  // IOleInPlaceObject
  HRESULT STDMETHODCALLTYPE InPlaceDeactivate() override;
  HRESULT STDMETHODCALLTYPE UIDeactivate() override;
  HRESULT STDMETHODCALLTYPE SetObjectRects(LPCRECT position, LPCRECT clip) override;
  HRESULT STDMETHODCALLTYPE ReactivateAndUndo() override;

  // IOleInPlaceActiveObject
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG msg) override;
  HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL activate) override;
  HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL activate) override;
  HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window, BOOL frame) override;
  HRESULT STDMETHODCALLTYPE EnableModeless(BOOL enable) override;

  // IViewObject2
  HRESULT STDMETHODCALLTYPE Draw(DWORD aspect, LONG index, void* aspectInfo, DVTARGETDEVICE* device,
                                 HDC targetDc, HDC drawDc, LPCRECTL bounds, LPCRECTL windowBounds,
                                 BOOL(STDMETHODCALLTYPE* cont)(ULONG_PTR), ULONG_PTR contArg) override;
  HRESULT STDMETHODCALLTYPE GetColorSet(DWORD aspect, LONG index, void* aspectInfo, DVTARGETDEVICE* device,
                                        HDC targetDc, LOGPALETTE** colors) override;
  HRESULT STDMETHODCALLTYPE Freeze(DWORD aspect, LONG index, void* aspectInfo, DWORD* freeze) override;
  HRESULT STDMETHODCALLTYPE Unfreeze(DWORD freeze) override;
  HRESULT STDMETHODCALLTYPE SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) override;
  HRESULT STDMETHODCALLTYPE GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) override;
  HRESULT STDMETHODCALLTYPE GetExtent(DWORD aspect, LONG index, DVTARGETDEVICE* device, LPSIZEL size) override;

  // ISpecifyPropertyPages
  HRESULT STDMETHODCALLTYPE GetPages(CAUUID* pages) override;

  // IConnectionPointContainer
  HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** points) override;
  HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid, IConnectionPoint** point) override;

  // IObjectWithSite (browsers site controls that script creates this way)
  HRESULT STDMETHODCALLTYPE SetSite(IUnknown* site) override;
  HRESULT STDMETHODCALLTYPE GetSite(REFIID iid, void** site) override;

  bool IsInitialized() const { return m_initialized; }

 protected:
  // Design-time picture; called only with a device context.
  virtual void OnDraw(HDC dc, const RECT& bounds) {}
  // The registered type library in the given locale.
  HRESULT LoadTypeLib(LCID lcid, ITypeLib** lib) const;
  // Opens the property pages in a modal frame (the Properties verb).
  HRESULT ShowProperties(HWND parent);
  // Asked before a member of the table runs with a well-formed call: a
  // control that refuses the call writes the member's answer into `result`
  // and sets *refused; the member does not run then.
  virtual HRESULT GateCall(const DispatchEntry& entry, VARIANT* result, bool* refused) { return S_OK; }
  // Told whenever the container gives or takes away a site.
  virtual void OnSiteChanged() {}
  IOleClientSite* ClientSite() const { return m_site.Get(); }
  IUnknown* ObjectSite() const { return m_objectSite.Get(); }

 private:
  HRESULT LoadTypeInfo(const GUID& guid, LCID lcid, ITypeInfo** info) const;

  // 100 x 50 pixels at 96 dpi, in HIMETRIC.
  static constexpr LONG kDefaultExtentX = 2646;
  static constexpr LONG kDefaultExtentY = 1323;

  ControlDescription m_desc;
  const DispatchTable& m_table;
  bool m_initialized = false;
  bool m_dirty = false;
  bool m_inPlaceActive = false;
  SIZEL m_extent;
  ComPtr<IOleClientSite> m_site;
  ComPtr<IUnknown> m_objectSite;
  ComPtr<IOleAdviseHolder> m_adviseHolder;
  ComPtr<IAdviseSink> m_viewSink;
  DWORD m_viewAspects = 0;
  DWORD m_viewFlags = 0;
  ConnectionPoint m_eventPoint;
  ConnectionPoint m_propertyNotifyPoint;
};

}  // namespace framework
