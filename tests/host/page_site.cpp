#include "tests/host/page_site.h"

#include <mshtml.h>
#include <urlmon.h>

namespace {

// Reference counting for objects that live as long as the test program.
#define FIXED_REFCOUNT                                   \
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; } \
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

// The page's document: only get_URL and the container's enumeration do
// anything; every other member of the document is not implemented.
class PageDocument : public IHTMLDocument2, public IOleContainer {
 public:
  explicit PageDocument(const PageOptions& options) : m_options(options) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    *object = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleContainer) || IsEqualIID(iid, IID_IParseDisplayName))
      *object = static_cast<IOleContainer*>(this);
    else if (m_options.document && (IsEqualIID(iid, IID_IHTMLDocument2) || IsEqualIID(iid, IID_IHTMLDocument) ||
                                    IsEqualIID(iid, IID_IDispatch)))
      *object = static_cast<IHTMLDocument2*>(this);
    return *object ? S_OK : E_NOINTERFACE;
  }
  FIXED_REFCOUNT

  HRESULT STDMETHODCALLTYPE get_URL(BSTR* p) override {
    *p = nullptr;
    if (m_options.unreadableUrl) return E_FAIL;
    if (m_options.nullUrl) return S_OK;
    *p = SysAllocString(m_options.documentUrl.c_str());
    return S_OK;
  }

  // IOleContainer
  HRESULT STDMETHODCALLTYPE ParseDisplayName(IBindCtx*, LPOLESTR, ULONG*, IMoniker** out) override {
    *out = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE EnumObjects(DWORD, IEnumUnknown** e) override {
    *e = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE LockContainer(BOOL) override { return S_OK; }

  // IDispatch
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }

  // IHTMLDocument and IHTMLDocument2, not implemented
  HRESULT STDMETHODCALLTYPE get_Script(IDispatch **p) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_all(IHTMLElementCollection **p) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_body(IHTMLElement **p) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_activeElement(IHTMLElement **p) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_images(IHTMLElementCollection **p) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_applets(IHTMLElementCollection **p) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_links(IHTMLElementCollection **p) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_forms(IHTMLElementCollection **p) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_anchors(IHTMLElementCollection **p) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_title(BSTR v) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_title(BSTR *p) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_scripts(IHTMLElementCollection **p) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_designMode(BSTR v) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_designMode(BSTR *p) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_selection(IHTMLSelectionObject **p) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_readyState(BSTR *p) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_frames(IHTMLFramesCollection2 **p) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_embeds(IHTMLElementCollection **p) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_plugins(IHTMLElementCollection **p) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_alinkColor(VARIANT v) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_alinkColor(VARIANT *p) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_bgColor(VARIANT v) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_bgColor(VARIANT *p) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_fgColor(VARIANT v) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_fgColor(VARIANT *p) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_linkColor(VARIANT v) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_linkColor(VARIANT *p) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_vlinkColor(VARIANT v) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_vlinkColor(VARIANT *p) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_referrer(BSTR *p) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_location(IHTMLLocation **p) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_lastModified(BSTR *p) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_URL(BSTR v) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_domain(BSTR v) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_domain(BSTR *p) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_cookie(BSTR v) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_cookie(BSTR *p) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_expando(VARIANT_BOOL v) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_expando(VARIANT_BOOL *p) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_charset(BSTR v) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_charset(BSTR *p) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_defaultCharset(BSTR v) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_defaultCharset(BSTR *p) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_mimeType(BSTR *p) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_fileSize(BSTR *p) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_fileCreatedDate(BSTR *p) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_fileModifiedDate(BSTR *p) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_fileUpdatedDate(BSTR *p) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_security(BSTR *p) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_protocol(BSTR *p) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_nameProp(BSTR *p) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE write(SAFEARRAY *psarray) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE writeln(SAFEARRAY *psarray) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE open(BSTR url, VARIANT name, VARIANT features, VARIANT replace, IDispatch **pomWindowResult) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE close() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE clear() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE queryCommandSupported(BSTR cmdID, VARIANT_BOOL *pfRet) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE queryCommandEnabled(BSTR cmdID, VARIANT_BOOL *pfRet) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE queryCommandState(BSTR cmdID, VARIANT_BOOL *pfRet) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE queryCommandIndeterm(BSTR cmdID, VARIANT_BOOL *pfRet) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE queryCommandText(BSTR cmdID, BSTR *pcmdText) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE queryCommandValue(BSTR cmdID, VARIANT *pcmdValue) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE execCommand(BSTR cmdID, VARIANT_BOOL showUI, VARIANT value, VARIANT_BOOL *pfRet) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE execCommandShowHelp(BSTR cmdID, VARIANT_BOOL *pfRet) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE createElement(BSTR eTag, IHTMLElement **newElem) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_onhelp(VARIANT v) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_onhelp(VARIANT *p) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_onclick(VARIANT v) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_onclick(VARIANT *p) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_ondblclick(VARIANT v) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_ondblclick(VARIANT *p) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_onkeyup(VARIANT v) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_onkeyup(VARIANT *p) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_onkeydown(VARIANT v) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_onkeydown(VARIANT *p) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_onkeypress(VARIANT v) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_onkeypress(VARIANT *p) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_onmouseup(VARIANT v) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_onmouseup(VARIANT *p) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_onmousedown(VARIANT v) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_onmousedown(VARIANT *p) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_onmousemove(VARIANT v) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_onmousemove(VARIANT *p) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_onmouseout(VARIANT v) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_onmouseout(VARIANT *p) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_onmouseover(VARIANT v) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_onmouseover(VARIANT *p) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_onreadystatechange(VARIANT v) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_onreadystatechange(VARIANT *p) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_onafterupdate(VARIANT v) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_onafterupdate(VARIANT *p) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_onrowexit(VARIANT v) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_onrowexit(VARIANT *p) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_onrowenter(VARIANT v) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_onrowenter(VARIANT *p) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_ondragstart(VARIANT v) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_ondragstart(VARIANT *p) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_onselectstart(VARIANT v) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_onselectstart(VARIANT *p) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE elementFromPoint(LONG x, LONG y, IHTMLElement **elementHit) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_parentWindow(IHTMLWindow2 **p) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_styleSheets(IHTMLStyleSheetsCollection **p) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_onbeforeupdate(VARIANT v) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_onbeforeupdate(VARIANT *p) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_onerrorupdate(VARIANT v) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_onerrorupdate(VARIANT *p) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE toString(BSTR *String) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE createStyleSheet(BSTR, LONG, IHTMLStyleSheet**) override { return E_NOTIMPL; }

 private:
  const PageOptions& m_options;
};

class PageSite : public IOleClientSite, public IOleInPlaceSite {
 public:
  PageSite(const PageOptions& options, PageDocument* document) : m_options(options), m_document(document) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    *object = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleClientSite))
      *object = static_cast<IOleClientSite*>(this);
    else if (IsEqualIID(iid, IID_IOleWindow) || IsEqualIID(iid, IID_IOleInPlaceSite))
      *object = static_cast<IOleInPlaceSite*>(this);
    return *object ? S_OK : E_NOINTERFACE;
  }
  FIXED_REFCOUNT

  // IOleClientSite
  HRESULT STDMETHODCALLTYPE SaveObject() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD assign, DWORD which, IMoniker** moniker) override {
    *moniker = nullptr;
    if (which != OLEWHICHMK_CONTAINER || m_options.monikerUrl.empty()) return E_NOTIMPL;
    return CreateURLMonikerEx(nullptr, m_options.monikerUrl.c_str(), moniker, URL_MK_UNIFORM);
  }
  HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** container) override {
    *container = nullptr;
    if (!m_options.document) return E_NOINTERFACE;
    *container = m_document;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }

  // IOleInPlaceSite: only the page's window
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override {
    *window = m_options.window;
    return m_options.window ? S_OK : E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnUIActivate() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT, LPRECT,
                                             LPOLEINPLACEFRAMEINFO) override {
    *frame = nullptr;
    *doc = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT) override { return S_OK; }

 private:
  const PageOptions& m_options;
  PageDocument* m_document;
};

}  // namespace

bool SiteControl(IDispatch* control, const PageOptions& options) {
  // The page outlives every control of the test program.
  static PageOptions kept;
  kept = options;
  static PageDocument document(kept);
  static PageSite site(kept, &document);
  if (options.throughObjectSite) {
    IObjectWithSite* withSite = nullptr;
    if (FAILED(control->QueryInterface(IID_IObjectWithSite, reinterpret_cast<void**>(&withSite)))) return false;
    HRESULT hr = withSite->SetSite(static_cast<IOleClientSite*>(&site));
    withSite->Release();
    return SUCCEEDED(hr);
  }
  IOleObject* object = nullptr;
  if (FAILED(control->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&object)))) return false;
  HRESULT hr = object->SetClientSite(&site);
  object->Release();
  return SUCCEEDED(hr);
}

void UnsiteControl(IDispatch* control) {
  IOleObject* object = nullptr;
  if (SUCCEEDED(control->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&object)))) {
    object->SetClientSite(nullptr);
    object->Release();
  }
  IObjectWithSite* withSite = nullptr;
  if (SUCCEEDED(control->QueryInterface(IID_IObjectWithSite, reinterpret_cast<void**>(&withSite)))) {
    withSite->SetSite(nullptr);
    withSite->Release();
  }
}
