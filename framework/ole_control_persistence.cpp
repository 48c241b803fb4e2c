// IPersistStreamInit, IPersistPropertyBag and IPersistStorage: the control
// persists its version and its extent.
#include "framework/ole_control.h"

#include "certutil/crypt_handles.h"

namespace framework {
namespace {

// The persisted form in a stream: version, then the extent in HIMETRIC.
struct PersistedState {
  DWORD version;
  LONG extentX;
  LONG extentY;
};

HRESULT ReadBagLong(IPropertyBag* bag, IErrorLog* log, const wchar_t* name, LONG* value) {
  ScopedVariant v;
  V_VT(v.Get()) = VT_I4;
  HRESULT hr = bag->Read(name, v.Get(), log);
  if (FAILED(hr)) return hr;
  if (V_VT(v.Get()) != VT_I4 && FAILED(VariantChangeType(v.Get(), v.Get(), 0, VT_I4))) return DISP_E_TYPEMISMATCH;
  *value = V_I4(v.Get());
  return S_OK;
}

HRESULT WriteBagLong(IPropertyBag* bag, const wchar_t* name, LONG value) {
  ScopedVariant v;
  V_VT(v.Get()) = VT_I4;
  V_I4(v.Get()) = value;
  return bag->Write(name, v.Get());
}

const wchar_t kContentsStream[] = L"Contents";

}  // namespace

// ---- Persistence -------------------------------------------------------

HRESULT OleControl::GetClassID(CLSID* clsid) {
  if (!clsid) return E_POINTER;
  *clsid = m_desc.clsid;
  return S_OK;
}

HRESULT OleControl::IsDirty() { return m_dirty ? S_OK : S_FALSE; }

HRESULT OleControl::Load(IStream* stream) {
  if (!stream) return E_POINTER;
  PersistedState state = {};
  ULONG read = 0;
  HRESULT hr = stream->Read(&state, sizeof(state), &read);
  if (FAILED(hr)) return hr;
  if (read < sizeof(state.version)) return STG_E_READFAULT;
  if (read == sizeof(state)) m_extent = SIZEL{state.extentX, state.extentY};
  m_initialized = true;
  m_dirty = false;
  return S_OK;
}

HRESULT OleControl::Save(IStream* stream, BOOL clearDirty) {
  if (!stream) return E_POINTER;
  PersistedState state = {m_desc.persistedVersion, m_extent.cx, m_extent.cy};
  HRESULT hr = stream->Write(&state, sizeof(state), nullptr);
  if (SUCCEEDED(hr) && clearDirty) m_dirty = false;
  return hr;
}

HRESULT OleControl::GetSizeMax(ULARGE_INTEGER* size) {
  if (!size) return E_POINTER;
  size->QuadPart = sizeof(PersistedState);
  return S_OK;
}

HRESULT OleControl::InitNew() {
  m_extent = SIZEL{kDefaultExtentX, kDefaultExtentY};
  m_initialized = true;
  m_dirty = false;
  return S_OK;
}

HRESULT OleControl::Load(IPropertyBag* bag, IErrorLog* log) {
  if (!bag) return E_POINTER;
  LONG value = 0;
  // Every value is optional: a page's <object> tag usually has none.
  if (SUCCEEDED(ReadBagLong(bag, log, L"_ExtentX", &value))) m_extent.cx = value;
  if (SUCCEEDED(ReadBagLong(bag, log, L"_ExtentY", &value))) m_extent.cy = value;
  m_initialized = true;
  m_dirty = false;
  return S_OK;
}

HRESULT OleControl::Save(IPropertyBag* bag, BOOL clearDirty, BOOL saveAll) {
  if (!bag) return E_POINTER;
  HRESULT hr = WriteBagLong(bag, L"_Version", static_cast<LONG>(m_desc.persistedVersion));
  if (SUCCEEDED(hr)) hr = WriteBagLong(bag, L"_ExtentX", m_extent.cx);
  if (SUCCEEDED(hr)) hr = WriteBagLong(bag, L"_ExtentY", m_extent.cy);
  if (SUCCEEDED(hr)) hr = WriteBagLong(bag, L"_StockProps", 0);
  if (SUCCEEDED(hr) && clearDirty) m_dirty = false;
  return hr;
}

HRESULT OleControl::InitNew(IStorage* storage) {
  if (!storage) return E_POINTER;
  return InitNew();
}

HRESULT OleControl::Load(IStorage* storage) {
  if (!storage) return E_POINTER;
  ComPtr<IStream> stream;
  HRESULT hr = storage->OpenStream(kContentsStream, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, stream.Receive());
  if (FAILED(hr)) return hr;
  return Load(stream.Get());
}

HRESULT OleControl::Save(IStorage* storage, BOOL sameAsLoad) {
  if (!storage) return E_POINTER;
  ComPtr<IStream> stream;
  HRESULT hr = storage->CreateStream(kContentsStream, STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE, 0, 0,
                                     stream.Receive());
  if (FAILED(hr)) return hr;
  return Save(stream.Get(), TRUE);
}

HRESULT OleControl::SaveCompleted(IStorage*) { return S_OK; }
HRESULT OleControl::HandsOffStorage() { return S_OK; }
}  // namespace framework
