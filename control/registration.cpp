// Self-registration: type library, both classes, and the two component
// categories that mark the control safe for scripting and initialisation.
// DllRegisterServer registers for the whole machine; DllInstall with the
// command line "user" (regsvr32 /n /i:user) writes the same entries under the
// current user's HKEY_CURRENT_USER\Software\Classes only, which needs no
// administrator, and DllInstall(FALSE, "user") (regsvr32 /u /n /i:user)
// removes them again.
#include <olectl.h>

#include <cwchar>

#include "control/guids.h"
#include "framework/module.h"
#include "framework/registration.h"
#include "resources/resource_ids.h"

namespace {

using framework::RegistrationScope;

const wchar_t kScriptingDescription[] = L"Controls that are safely scriptable";
const wchar_t kInitializingDescription[] = L"Controls safely initializable from persistent data";

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

HRESULT RegisterMachineCategories() {
  if (FAILED(framework::CreateComponentCategory(tessarn::kCatidSafeForScripting, kScriptingDescription)))
    return SELFREG_E_CLASS;
  if (FAILED(framework::CreateComponentCategory(tessarn::kCatidSafeForInitializing, kInitializingDescription)))
    return SELFREG_E_CLASS;
  if (FAILED(framework::RegisterClassInCategory(tessarn::kClsidControl, tessarn::kCatidSafeForScripting)))
    return SELFREG_E_CLASS;
  if (FAILED(framework::RegisterClassInCategory(tessarn::kClsidControl, tessarn::kCatidSafeForInitializing)))
    return SELFREG_E_CLASS;
  return S_OK;
}

// The user's classes get the control's membership in both categories, which
// is what a browser reads. The two categories' descriptions are not written
// there: they are the platform's own (every Windows holds them for the
// machine), and a per-user removal could not tell whether another control of
// the user relies on a copy. So the removal takes away exactly what this
// registration wrote.
HRESULT RegisterUserCategories() {
  bool ok = framework::WriteClassInCategory(tessarn::kClsidControl, tessarn::kCatidSafeForScripting) &&
            framework::WriteClassInCategory(tessarn::kClsidControl, tessarn::kCatidSafeForInitializing);
  return ok ? S_OK : SELFREG_E_CLASS;
}

// Stops at the first failure; what was done stays done, and a second run
// overwrites it.
HRESULT RegisterServer(RegistrationScope scope) {
  HINSTANCE module = framework::ModuleInstance();
  bool typeLib = scope == RegistrationScope::kUser ? framework::RegisterTypeLibForUserFromModule(module, tessarn::kLibid)
                                                   : framework::RegisterTypeLibFromModule(module, tessarn::kLibid);
  if (!typeLib) return SELFREG_E_TYPELIB;
  if (!UpdateFactoriesRegistry(true)) return SELFREG_E_CLASS;
  return scope == RegistrationScope::kUser ? RegisterUserCategories() : RegisterMachineCategories();
}

// The category descriptions stay: they belong to every control that names
// the two categories, not to this one.
HRESULT UnregisterMachine() {
  if (!framework::UnregisterTypeLibrary(tessarn::kLibid, tessarn::kLibMajor, tessarn::kLibMinor, 0))
    return SELFREG_E_TYPELIB;
  if (!UpdateFactoriesRegistry(false)) return SELFREG_E_CLASS;
  return S_OK;
}

// A user who runs the removal expects every entry of this control gone even
// when part of it already is (a type library removed by hand, say): each
// step runs, and the first failure is the answer.
HRESULT UnregisterUser() {
  bool typeLibRemoved = framework::UnregisterTypeLibForUser(framework::ModuleInstance(), tessarn::kLibid);
  bool classesRemoved = UpdateFactoriesRegistry(false);
  if (!typeLibRemoved) return SELFREG_E_TYPELIB;
  return classesRemoved ? S_OK : SELFREG_E_CLASS;
}

}  // namespace

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
  framework::ModuleStateScope state;
  return RegisterServer(RegistrationScope::kMachine);
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
  framework::ModuleStateScope state;
  return UnregisterMachine();
}

// regsvr32 /n /i:user Tessarn.ocx     -> DllInstall(TRUE, L"user")
// regsvr32 /u /n /i:user Tessarn.ocx  -> DllInstall(FALSE, L"user")
// Without a command line it does what DllRegisterServer or
// DllUnregisterServer does; any other command line is refused.
extern "C" HRESULT STDAPICALLTYPE DllInstall(BOOL install, PCWSTR commandLine) {
  framework::ModuleStateScope state;
  if (!commandLine || !*commandLine) return install ? RegisterServer(RegistrationScope::kMachine) : UnregisterMachine();
  if (_wcsicmp(commandLine, L"user") != 0) return E_INVALIDARG;
  framework::PerUserClassesRoot userClasses;
  if (userClasses.status() != ERROR_SUCCESS) return HRESULT_FROM_WIN32(userClasses.status());
  return install ? RegisterServer(RegistrationScope::kUser) : UnregisterUser();
}
