#pragma once
#include <windows.h>

// Replaces one imported function of a loaded module (its import address
// table entry) for as long as the patch lives: a platform call that fails on
// demand, where the environment cannot be made to fail it for real.
class ImportPatch {
 public:
  ImportPatch(HMODULE module, const char* dll, const char* function, void* replacement);
  ~ImportPatch();
  ImportPatch(const ImportPatch&) = delete;
  ImportPatch& operator=(const ImportPatch&) = delete;
  bool Applied() const { return m_slot != nullptr; }
  // Leaves the replacement in place: for a module about to be unloaded,
  // whose import table goes with it.
  void Abandon() { m_slot = nullptr; }

 private:
  void** m_slot = nullptr;
  void* m_original = nullptr;
};
