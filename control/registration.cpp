// Self-registration: type library, both classes, and the two component
// categories that mark the control safe for scripting and initialisation.
#include <olectl.h>

#include "control/guids.h"
#include "framework/module.h"
#include "framework/registration.h"
#include "resources/resource_ids.h"

namespace {

bool UpdateFactoriesRegistry(bool registering) {
  HINSTANCE module = framework::ModuleInstance();
  if (!registering) {
    bool ok = framework::UnregisterClass(tessarn::kClsidControl, tessarn::kProgIdControl);
    return framework::UnregisterClass(tessarn::kClsidPropPage, nullptr) && ok;
  }
  framework::ControlClassRegistration control = {
      tessarn::kClsidControl, tessarn::kProgIdControl, IDS_TESSARN, IDB_TESSARN, true, 0x4400,
      tessarn::kLibid,        tessarn::kLibMajor,      tessarn::kLibMinor};
  return framework::RegisterControlClass(module, control) &&
         framework::RegisterPropertyPageClass(module, tessarn::kClsidPropPage, IDS_TESSARN_PPG);
}

}  // namespace

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
  framework::ModuleStateScope state;
  if (!framework::RegisterTypeLibFromModule(framework::ModuleInstance(), tessarn::kLibid)) return SELFREG_E_TYPELIB;
  if (!UpdateFactoriesRegistry(true)) return SELFREG_E_CLASS;
  if (FAILED(framework::CreateComponentCategory(tessarn::kCatidSafeForScripting,
                                                L"Controls that are safely scriptable")))
    return SELFREG_E_CLASS;
  if (FAILED(framework::CreateComponentCategory(tessarn::kCatidSafeForInitializing,
                                                L"Controls safely initializable from persistent data")))
    return SELFREG_E_CLASS;
  if (FAILED(framework::RegisterClassInCategory(tessarn::kClsidControl, tessarn::kCatidSafeForScripting)))
    return SELFREG_E_CLASS;
  if (FAILED(framework::RegisterClassInCategory(tessarn::kClsidControl, tessarn::kCatidSafeForInitializing)))
    return SELFREG_E_CLASS;
  return S_OK;
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
  framework::ModuleStateScope state;
  if (!framework::UnregisterTypeLibrary(tessarn::kLibid, tessarn::kLibMajor, tessarn::kLibMinor, 0))
    return SELFREG_E_TYPELIB;
  if (!UpdateFactoriesRegistry(false)) return SELFREG_E_CLASS;
  return S_OK;
}
