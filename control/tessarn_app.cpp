// The module: its instance, the two class factories and the COM server
// entry points.
#include <windows.h>

#include "certutil/chain.h"
#include "control/guids.h"
#include "control/prop_page.h"
#include "control/tessarn_ctrl.h"
#include "framework/class_factory.h"
#include "framework/module.h"

namespace {
framework::ClassFactory g_controlFactory(tessarn::kClsidControl, &CTessarnCtrl::Create);
framework::ClassFactory g_propPageFactory(tessarn::kClsidPropPage, &CTessarnPropPage::Create);
framework::ClassFactory* const g_factories[] = {&g_controlFactory, &g_propPageFactory};
}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    framework::SetModuleInstance(instance);
    DisableThreadLibraryCalls(instance);
  }
  // Unloaded by FreeLibrary: what the module kept for its life goes with
  // it. When the process ends instead (reserved is not null), its other
  // threads are gone, possibly holding the platform's locks, and the
  // process's end frees everything anyway: nothing is released then.
  if (reason == DLL_PROCESS_DETACH && !reserved) norelCertInfoUtl::nrlReleaseChainEngine();
  return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  framework::ModuleStateScope state;
  return framework::GetClassObjectFrom(g_factories, 2, clsid, iid, object);
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
  // Not counted as a lock of its own: the answer is about everyone else.
  return framework::ModuleLockCount() == 0 ? S_OK : S_FALSE;
}
