#include "control/tessarn_ctrl.h"

#include <new>

#include "control/guids.h"
#include "control/version.h"

namespace {

const CLSID kPropertyPages[] = {tessarn::kClsidPropPage};

// OLEMISC_INVISIBLEATRUNTIME | OLEMISC_NOUIACTIVATE
constexpr DWORD kMiscStatus = 0x4400;

const framework::ControlDescription kDescription = {
    tessarn::kClsidControl,
    tessarn::kLibid,
    tessarn::kLibMajor,
    tessarn::kLibMinor,
    tessarn::kDiidTessarn,
    tessarn::kDiidTessarnEvents,
    kMiscStatus,
    kPropertyPages,
    1,
    tessarn::kControlVersion,
};

}  // namespace

CTessarnCtrl::CTessarnCtrl() : OleControl(kDescription, MethodTable()) {}

HRESULT CTessarnCtrl::Create(REFIID iid, void** object) {
  // The object is born with one reference, which the owner gives back
  // once the caller holds its own.
  ComPtr<CTessarnCtrl> control;
  control.Attach(new (std::nothrow) CTessarnCtrl());
  if (!control) return E_OUTOFMEMORY;
  return control->QueryInterface(iid, object);
}

void CTessarnCtrl::OnDraw(HDC dc, const RECT& bounds) {
  if (!dc) return;
  FillRect(dc, &bounds, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  Ellipse(dc, bounds.left, bounds.top, bounds.right, bounds.bottom);
}
