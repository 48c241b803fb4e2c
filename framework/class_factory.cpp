#include "framework/class_factory.h"

#include <new>

#include "framework/com_object.h"
#include "framework/exception_boundary.h"
#include "framework/module.h"

namespace framework {

HRESULT ClassFactory::QueryInterface(REFIID iid, void** object) {
  static const InterfaceEntry kRows[] = {
      InterfaceRow<ClassFactory, IClassFactory>(IID_IUnknown),
      InterfaceRow<ClassFactory, IClassFactory>(IID_IClassFactory),
  };
  return QueryFromTable(this, kRows, iid, object);
}

ULONG ClassFactory::AddRef() {
  LockModule();
  return 2;
}

ULONG ClassFactory::Release() {
  UnlockModule();
  return 1;
}

HRESULT ClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  try {
    return m_creator(iid, object);
  } catch (...) {
    return ResultFromCaughtException();
  }
}

HRESULT ClassFactory::LockServer(BOOL lock) {
  if (lock) LockModule();
  else UnlockModule();
  return S_OK;
}

HRESULT GetClassObjectFrom(ClassFactory* const* factories, size_t count, REFCLSID clsid, REFIID iid,
                           void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  for (size_t i = 0; i < count; ++i) {
    if (IsEqualCLSID(clsid, factories[i]->Clsid())) return factories[i]->QueryInterface(iid, object);
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

}  // namespace framework
