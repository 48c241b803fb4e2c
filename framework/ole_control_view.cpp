// IViewObject2: drawing for design time and view advise sinks.
#include "framework/ole_control.h"

namespace framework {

// ---- IViewObject2 ------------------------------------------------------

HRESULT OleControl::Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC drawDc, LPCRECTL bounds,
                         LPCRECTL, BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (!drawDc || !bounds) return E_INVALIDARG;
  RECT rect = {bounds->left, bounds->top, bounds->right, bounds->bottom};
  OnDraw(drawDc, rect);
  return S_OK;
}

HRESULT OleControl::GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE** colors) {
  if (colors) *colors = nullptr;
  return S_FALSE;
}

HRESULT OleControl::Freeze(DWORD, LONG, void*, DWORD*) { return E_NOTIMPL; }
HRESULT OleControl::Unfreeze(DWORD) { return E_NOTIMPL; }

HRESULT OleControl::SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) {
  m_viewAspects = aspects;
  m_viewFlags = flags;
  m_viewSink = ComPtr<IAdviseSink>(sink);
  return S_OK;
}

HRESULT OleControl::GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) {
  if (aspects) *aspects = m_viewAspects;
  if (flags) *flags = m_viewFlags;
  if (sink) {
    *sink = m_viewSink.Get();
    if (*sink) (*sink)->AddRef();
  }
  return S_OK;
}

HRESULT OleControl::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size) {
  return GetExtent(aspect, size);
}
}  // namespace framework
