#pragma once
#include <windows.h>
#include <objbase.h>

#include <cstddef>
#include <cstdint>

namespace framework {

// One row of an object's interface table: the IID a caller may ask for and
// where that interface's vtable pointer sits inside the object.
struct InterfaceEntry {
  const IID* iid;
  std::ptrdiff_t offset;
};

// The offset of `Interface` inside `Object`, found as ATL's offsetofclass
// finds it: cast a non-null address (static_cast passes null through
// unchanged) and measure how far the cast moved it.
template <class Object, class Interface>
InterfaceEntry InterfaceRow(const IID& iid) {
  constexpr std::uintptr_t kProbe = 0x1000;
  Object* object = reinterpret_cast<Object*>(kProbe);
  return {&iid, reinterpret_cast<char*>(static_cast<Interface*>(object)) - reinterpret_cast<char*>(object)};
}

// QueryInterface over a table: the first row whose IID matches gives the
// pointer, which is AddRef'd through itself. Unknown IIDs leave *object null.
inline HRESULT QueryFromTable(void* object, const InterfaceEntry* rows, std::size_t count, REFIID iid,
                              void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  for (std::size_t i = 0; i < count; ++i) {
    if (!IsEqualIID(iid, *rows[i].iid)) continue;
    auto* found = reinterpret_cast<IUnknown*>(static_cast<char*>(object) + rows[i].offset);
    found->AddRef();
    *out = found;
    return S_OK;
  }
  return E_NOINTERFACE;
}

template <std::size_t N>
HRESULT QueryFromTable(void* object, const InterfaceEntry (&rows)[N], REFIID iid, void** out) {
  return QueryFromTable(object, rows, N, iid, out);
}

// The reference count every heap-made COM object here shares: starts at one
// (the creator's reference) and deletes the object at zero. `Derived` gives
// its interface table as `static const InterfaceTable& Interfaces()`.
struct InterfaceTable {
  const InterfaceEntry* rows;
  std::size_t count;
};

template <class Derived, class... Bases>
class ComObject : public Bases... {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    const InterfaceTable& table = Derived::Interfaces();
    return QueryFromTable(static_cast<Derived*>(this), table.rows, table.count, iid, object);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }
  ULONG STDMETHODCALLTYPE Release() override {
    LONG refs = InterlockedDecrement(&m_refs);
    if (refs == 0) delete this;
    return static_cast<ULONG>(refs);
  }

 protected:
  ComObject() = default;
  virtual ~ComObject() = default;
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

 private:
  LONG m_refs = 1;
};

}  // namespace framework
