#include "framework/module.h"

#include <atomic>

namespace framework {
namespace {
HINSTANCE g_instance = nullptr;
std::atomic<LONG> g_locks{0};
}  // namespace

HINSTANCE ModuleInstance() { return g_instance; }
void SetModuleInstance(HINSTANCE instance) { g_instance = instance; }
void LockModule() { g_locks.fetch_add(1); }
void UnlockModule() { g_locks.fetch_sub(1); }
LONG ModuleLockCount() { return g_locks.load(); }

}  // namespace framework
