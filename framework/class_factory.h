#pragma once
#include <windows.h>
#include <objbase.h>

namespace framework {

// A static class factory: every CreateInstance makes a new object. Its
// references and LockServer count as module locks.
class ClassFactory : public IClassFactory {
 public:
  using Creator = HRESULT (*)(REFIID iid, void** object);
  ClassFactory(const CLSID& clsid, Creator creator) : m_clsid(clsid), m_creator(creator) {}
  virtual ~ClassFactory() = default;

  const CLSID& Clsid() const { return m_clsid; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

 private:
  CLSID m_clsid;
  Creator m_creator;
};

// Hands out the factory of `clsid` from `factories`, as DllGetClassObject.
HRESULT GetClassObjectFrom(ClassFactory* const* factories, size_t count, REFCLSID clsid, REFIID iid,
                           void** object);

}  // namespace framework
