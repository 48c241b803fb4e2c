#include "control/prop_page.h"

#include <new>

#include "resources/resource_ids.h"

CTessarnPropPage::CTessarnPropPage() : PropertyPage(IDD_PROPPAGE_TESSARN, IDS_TESSARN_PPG_CAPTION) {}

HRESULT CTessarnPropPage::Create(REFIID iid, void** object) {
  auto* page = new (std::nothrow) CTessarnPropPage();
  if (!page) return E_OUTOFMEMORY;
  HRESULT hr = page->QueryInterface(iid, object);
  page->Release();
  return hr;
}
