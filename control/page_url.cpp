#include "control/page_url.h"

#include <mshtml.h>
#include <urlmon.h>

#include "certutil/crypt_handles.h"

namespace {

// The document's own URL; kNoDocument when `candidate` is no HTML document.
PageLookup UrlOfDocument(IUnknown* candidate, std::wstring* url) {
  ComPtr<IHTMLDocument2> document;
  if (!candidate || FAILED(candidate->QueryInterface(IID_IHTMLDocument2, document.ReceiveVoid())) || !document)
    return PageLookup::kNoDocument;
  ScopedBstr text;
  if (FAILED(document->get_URL(text.Receive())) || !text.Get() || !*text.Get()) return PageLookup::kUnreadable;
  url->assign(text.Get());
  return PageLookup::kUrl;
}

PageLookup UrlOfContainer(IOleClientSite* site, std::wstring* url) {
  if (!site) return PageLookup::kNoDocument;
  ComPtr<IOleContainer> container;
  if (FAILED(site->GetContainer(container.Receive())) || !container) return PageLookup::kNoDocument;
  return UrlOfDocument(container.Get(), url);
}

bool StartsWithNoCase(const wchar_t* text, const wchar_t* prefix) {
  return _wcsnicmp(text, prefix, wcslen(prefix)) == 0;
}

// A URL moniker's display name. Other monikers (a file that holds an OLE
// document, an item) do not name a web page: such a container is no page.
PageLookup UrlOfMoniker(IOleClientSite* site, std::wstring* url) {
  if (!site) return PageLookup::kNoDocument;
  ComPtr<IMoniker> moniker;
  if (FAILED(site->GetMoniker(OLEGETMONIKER_ONLYIFTHERE, OLEWHICHMK_CONTAINER, moniker.Receive())) || !moniker)
    return PageLookup::kNoDocument;
  ComPtr<IBindCtx> context;
  if (FAILED(CreateBindCtx(0, context.Receive()))) return PageLookup::kNoDocument;
  ScopedCoTaskMem<OLECHAR> name;
  HRESULT hr = moniker->GetDisplayName(context.Get(), nullptr, name.Receive());
  std::wstring text = SUCCEEDED(hr) && name.Get() ? name.Get() : L"";
  DWORD kind = MKSYS_NONE;
  bool urlMoniker = moniker->IsSystemMoniker(&kind) == S_OK && kind == MKSYS_URLMONIKER;
  if (!urlMoniker && !StartsWithNoCase(text.c_str(), L"https:") && !StartsWithNoCase(text.c_str(), L"http:"))
    return PageLookup::kNoDocument;
  if (text.empty()) return PageLookup::kUnreadable;
  *url = text;
  return PageLookup::kUrl;
}

}  // namespace

PageLookup LookUpPageUrl(IOleClientSite* clientSite, IUnknown* objectSite, std::wstring* url) {
  url->clear();
  PageLookup found = UrlOfContainer(clientSite, url);
  if (found != PageLookup::kNoDocument) return found;
  ComPtr<IOleClientSite> siteOfObject;
  if (objectSite) objectSite->QueryInterface(IID_IOleClientSite, siteOfObject.ReceiveVoid());
  found = UrlOfContainer(siteOfObject.Get(), url);
  if (found == PageLookup::kNoDocument) found = UrlOfDocument(objectSite, url);
  if (found != PageLookup::kNoDocument) return found;
  found = UrlOfMoniker(clientSite, url);
  if (found == PageLookup::kNoDocument) found = UrlOfMoniker(siteOfObject.Get(), url);
  return found;
}
