#include "framework/connection_point.h"

#include <new>

#include "framework/com_object.h"
#include "framework/enum_cursor.h"
#include "framework/exception_boundary.h"

namespace framework {
namespace {

// A reference-counted enumerator over a snapshot of values; Item is the
// element as handed out, Hold the owning form kept in the snapshot.
template <class Enum, class Item, class Hold, const IID* EnumIid>
class SnapshotEnum : public ComObject<SnapshotEnum<Enum, Item, Hold, EnumIid>, Enum> {
 public:
  explicit SnapshotEnum(std::vector<Hold> items) : m_items(std::move(items)), m_cursor(m_items.size(), 0) {}

  static const InterfaceTable& Interfaces() {
    static const InterfaceEntry kRows[] = {
        InterfaceRow<SnapshotEnum, Enum>(IID_IUnknown),
        InterfaceRow<SnapshotEnum, Enum>(*EnumIid),
    };
    static const InterfaceTable kTable{kRows, sizeof(kRows) / sizeof(kRows[0])};
    return kTable;
  }
  HRESULT STDMETHODCALLTYPE Next(ULONG count, Item* out, ULONG* fetched) override {
    if (!out || (count > 1 && !fetched)) return E_POINTER;
    ULONG n = 0;
    for (; n < count && !m_cursor.AtEnd(); ++n, m_cursor.Advance()) out[n] = Copy(m_items[m_cursor.Position()]);
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override { return m_cursor.Skip(count); }
  HRESULT STDMETHODCALLTYPE Reset() override {
    m_cursor.Reset();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(Enum** out) override {
    if (!out) return E_POINTER;
    auto* copy = new (std::nothrow) SnapshotEnum(m_items);
    if (!copy) return E_OUTOFMEMORY;
    copy->m_cursor = m_cursor;
    *out = copy;
    return S_OK;
  }

 private:
  static IConnectionPoint* Copy(const ComPtr<IConnectionPoint>& p) {
    p->AddRef();
    return p.Get();
  }
  static CONNECTDATA Copy(const std::pair<DWORD, ComPtr<IUnknown>>& c) {
    c.second->AddRef();
    return CONNECTDATA{c.second.Get(), c.first};
  }

  std::vector<Hold> m_items;
  EnumCursor m_cursor;
};

using PointEnum = SnapshotEnum<IEnumConnectionPoints, IConnectionPoint*, ComPtr<IConnectionPoint>,
                               &IID_IEnumConnectionPoints>;
using ConnectionEnum = SnapshotEnum<IEnumConnections, CONNECTDATA, std::pair<DWORD, ComPtr<IUnknown>>,
                                    &IID_IEnumConnections>;

}  // namespace

HRESULT ConnectionPoint::QueryInterface(REFIID iid, void** object) {
  static const InterfaceEntry kRows[] = {
      InterfaceRow<ConnectionPoint, IConnectionPoint>(IID_IUnknown),
      InterfaceRow<ConnectionPoint, IConnectionPoint>(IID_IConnectionPoint),
  };
  return QueryFromTable(this, kRows, iid, object);
}

HRESULT ConnectionPoint::GetConnectionInterface(IID* iid) {
  if (!iid) return E_POINTER;
  *iid = m_iid;
  return S_OK;
}

HRESULT ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** container) {
  if (!container) return E_POINTER;
  *container = m_container;
  m_container->AddRef();
  return S_OK;
}

HRESULT ConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
  if (!cookie) return E_POINTER;
  *cookie = 0;
  if (!sink) return E_POINTER;
  ComPtr<IUnknown> typed;
  if (FAILED(sink->QueryInterface(m_iid, typed.ReceiveVoid()))) return CONNECT_E_CANNOTCONNECT;
  try {
    m_sinks.emplace_back(m_nextCookie, typed);
  } catch (...) {
    return ResultFromCaughtException();
  }
  *cookie = m_nextCookie++;
  return S_OK;
}

HRESULT ConnectionPoint::Unadvise(DWORD cookie) {
  for (auto it = m_sinks.begin(); it != m_sinks.end(); ++it) {
    if (it->first == cookie) {
      m_sinks.erase(it);
      return S_OK;
    }
  }
  return CONNECT_E_NOCONNECTION;
}

HRESULT ConnectionPoint::EnumConnections(IEnumConnections** connections) {
  if (!connections) return E_POINTER;
  *connections = new (std::nothrow) ConnectionEnum(m_sinks);
  return *connections ? S_OK : E_OUTOFMEMORY;
}

HRESULT CreateConnectionPointEnum(const std::vector<ComPtr<IConnectionPoint>>& points,
                                  IEnumConnectionPoints** out) {
  if (!out) return E_POINTER;
  *out = new (std::nothrow) PointEnum(points);
  return *out ? S_OK : E_OUTOFMEMORY;
}

}  // namespace framework
