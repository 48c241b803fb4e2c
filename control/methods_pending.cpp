// Methods whose engine is not in this build yet: they answer the caller
// with a dispatch exception carrying E_NOTIMPL, never a made-up result.
#include "control/tessarn_ctrl.h"
#include "framework/ole_exception.h"

namespace {
[[noreturn]] void NotBuilt() { throw framework::OleException(E_NOTIMPL); }
}  // namespace

long CTessarnCtrl::RawSignCheck(const wchar_t*, const wchar_t*, const wchar_t*) { NotBuilt(); }
void CTessarnCtrl::RawSign(const wchar_t*, const wchar_t*, const wchar_t*, const wchar_t*, VARIANT*) { NotBuilt(); }
void CTessarnCtrl::SignPKCS7(const wchar_t*, const wchar_t*, const wchar_t*, VARIANT*) { NotBuilt(); }
void CTessarnCtrl::SignRaw(const wchar_t*, const wchar_t*, const wchar_t*, VARIANT*) { NotBuilt(); }
