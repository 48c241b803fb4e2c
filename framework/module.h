#pragma once
#include <windows.h>

namespace framework {

// The module's instance handle (set by DllMain) and its lock count: live
// objects, factory locks and calls in progress. DllCanUnloadNow answers
// S_OK only at zero.
HINSTANCE ModuleInstance();
void SetModuleInstance(HINSTANCE instance);
void LockModule();
void UnlockModule();
LONG ModuleLockCount();

// Held for the duration of every entry into the module (a method call, a
// registration): keeps the module loaded while it runs, and is released on
// every way out, an exception included.
class ModuleStateScope {
 public:
  ModuleStateScope() { LockModule(); }
  ~ModuleStateScope() { UnlockModule(); }
  ModuleStateScope(const ModuleStateScope&) = delete;
  ModuleStateScope& operator=(const ModuleStateScope&) = delete;
};

}  // namespace framework
