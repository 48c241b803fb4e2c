// Component categories written through the platform's categories manager.
#include <windows.h>
#include <comcat.h>

#include <cwchar>

#include "certutil/crypt_handles.h"
#include "framework/registration.h"

namespace framework {
namespace {

HRESULT OpenCategoriesManager(ComPtr<ICatRegister>* manager) {
  return CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER, IID_ICatRegister,
                          manager->ReceiveVoid());
}

}  // namespace

HRESULT CreateComponentCategory(const CATID& catid, const wchar_t* description) {
  ComPtr<ICatRegister> manager;
  HRESULT hr = OpenCategoriesManager(&manager);
  if (FAILED(hr)) return hr;
  CATEGORYINFO info = {};
  info.catid = catid;
  info.lcid = 0x0409;
  wcsncpy(info.szDescription, description, 127);
  info.szDescription[127] = L'\0';
  return manager->RegisterCategories(1, &info);
}

HRESULT RegisterClassInCategory(const CLSID& clsid, const CATID& catid) {
  ComPtr<ICatRegister> manager;
  HRESULT hr = OpenCategoriesManager(&manager);
  if (FAILED(hr)) return hr;
  CATID categories[1] = {catid};
  return manager->RegisterClassImplCategories(clsid, 1, categories);
}

}  // namespace framework
