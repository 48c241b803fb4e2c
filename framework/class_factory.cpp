#include "framework/class_factory.h"

#include <new>

#include "framework/module.h"

namespace framework {

HRESULT ClassFactory::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
    *object = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
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
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
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
