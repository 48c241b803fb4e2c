#pragma once
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <utility>
#include <vector>

#include "certutil/crypt_handles.h"

namespace framework {

// One outgoing interface of a control. The control fires no events, but a
// container that connects (every web page container does, for the default
// source) must be able to advise and unadvise.
class ConnectionPoint : public IConnectionPoint {
 public:
  ConnectionPoint(IConnectionPointContainer* container, const IID& iid) : m_container(container), m_iid(iid) {}
  virtual ~ConnectionPoint() = default;

  const IID& Iid() const { return m_iid; }

  // The connection point lives inside its container and shares its count.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return m_container->AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return m_container->Release(); }

  HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override;
  HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** container) override;
  HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override;
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override;
  HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** connections) override;

  void DropAll() { m_sinks.clear(); }

 private:
  IConnectionPointContainer* m_container;
  IID m_iid;
  DWORD m_nextCookie = 1;
  std::vector<std::pair<DWORD, ComPtr<IUnknown>>> m_sinks;
};

// Enumerator over a snapshot of connection points.
HRESULT CreateConnectionPointEnum(const std::vector<ComPtr<IConnectionPoint>>& points,
                                  IEnumConnectionPoints** out);

}  // namespace framework
