// The dispatch map: every member of _DTessarn is a method; DISPID 13 is not
// assigned. The type library declares the same table.
#include <olectl.h>

#include "control/tessarn_ctrl.h"

using framework::ArgKind;
using framework::DispatchArgs;
using framework::DispatchEntry;
using framework::DispatchTable;

namespace {

CTessarnCtrl* Self(void* object) {
  return static_cast<CTessarnCtrl*>(static_cast<framework::OleControl*>(object));
}

void SetI4(VARIANT* answer, long value) {
  V_VT(answer) = VT_I4;
  V_I4(answer) = value;
}

constexpr ArgKind S = ArgKind::kBstr;
constexpr ArgKind L = ArgKind::kI4;
constexpr ArgKind B = ArgKind::kBytesRef;

const DispatchEntry kEntries[] = {
    {DISPID_ABOUTBOX, L"AboutBox", VT_EMPTY, 0, {},
     [](void* o, const DispatchArgs&, VARIANT*) { Self(o)->AboutBox(); }},
    {1, L"RawSignCheck", VT_I4, 3, {S, S, S},
     [](void* o, const DispatchArgs& a, VARIANT* r) { SetI4(r, Self(o)->RawSignCheck(a.Bstr(0), a.Bstr(1), a.Bstr(2))); }},
    {2, L"RawSign", VT_VARIANT, 4, {S, S, S, S},
     [](void* o, const DispatchArgs& a, VARIANT* r) { Self(o)->RawSign(a.Bstr(0), a.Bstr(1), a.Bstr(2), a.Bstr(3), r); }},
    {3, L"SetLogging", VT_VARIANT, 1, {S},
     [](void* o, const DispatchArgs& a, VARIANT* r) { Self(o)->SetLogging(a.Bstr(0), r); }},
    {4, L"GetLogging", VT_VARIANT, 0, {},
     [](void* o, const DispatchArgs&, VARIANT* r) { Self(o)->GetLogging(r); }},
    {5, L"CertEnum", VT_VARIANT, 1, {L},
     [](void* o, const DispatchArgs& a, VARIANT* r) { Self(o)->CertEnum(a.I4(0), r); }},
    {6, L"CertLookup", VT_VARIANT, 3, {S, L, S},
     [](void* o, const DispatchArgs& a, VARIANT* r) { Self(o)->CertLookup(a.Bstr(0), a.I4(1), a.Bstr(2), r); }},
    {7, L"CertIsValid", VT_I4, 2, {S, L},
     [](void* o, const DispatchArgs& a, VARIANT* r) { SetI4(r, Self(o)->CertIsValid(a.Bstr(0), a.I4(1))); }},
    {8, L"CertGetInfo", VT_VARIANT, 2, {S, L},
     [](void* o, const DispatchArgs& a, VARIANT* r) { Self(o)->CertGetInfo(a.Bstr(0), a.I4(1), r); }},
    {9, L"CertHasPrivateKey", VT_I4, 1, {S},
     [](void* o, const DispatchArgs& a, VARIANT* r) { SetI4(r, Self(o)->CertHasPrivateKey(a.Bstr(0))); }},
    {10, L"CertChainIsValid", VT_I4, 1, {S},
     [](void* o, const DispatchArgs& a, VARIANT* r) { SetI4(r, Self(o)->CertChainIsValid(a.Bstr(0))); }},
    {11, L"CertDisplay", VT_I4, 1, {S},
     [](void* o, const DispatchArgs& a, VARIANT* r) { SetI4(r, Self(o)->CertDisplay(a.Bstr(0))); }},
    {12, L"SignPKCS7", VT_VARIANT, 3, {S, S, S},
     [](void* o, const DispatchArgs& a, VARIANT* r) { Self(o)->SignPKCS7(a.Bstr(0), a.Bstr(1), a.Bstr(2), r); }},
    {14, L"SignRaw", VT_VARIANT, 3, {S, S, S},
     [](void* o, const DispatchArgs& a, VARIANT* r) { Self(o)->SignRaw(a.Bstr(0), a.Bstr(1), a.Bstr(2), r); }},
    {15, L"BinaryToString", VT_VARIANT, 3, {B, L, L},
     [](void* o, const DispatchArgs& a, VARIANT* r) { Self(o)->BinaryToString(a.Bytes(0), a.I4(1), a.I4(2), r); }},
    {16, L"StringToBinary", VT_VARIANT, 2, {S, L},
     [](void* o, const DispatchArgs& a, VARIANT* r) { Self(o)->StringToBinary(a.Bstr(0), a.BstrLength(0), a.I4(1), r); }},
    {17, L"LocalTimeToUTCTime", VT_VARIANT, 1, {S},
     [](void* o, const DispatchArgs& a, VARIANT* r) { Self(o)->LocalTimeToUTCTime(a.Bstr(0), r); }},
    {18, L"LibGetInfo", VT_VARIANT, 1, {L},
     [](void* o, const DispatchArgs& a, VARIANT* r) { Self(o)->LibGetInfo(a.I4(0), r); }},
};

const DispatchTable kTable = {kEntries, sizeof(kEntries) / sizeof(kEntries[0])};

}  // namespace

const DispatchTable& CTessarnCtrl::MethodTable() { return kTable; }
