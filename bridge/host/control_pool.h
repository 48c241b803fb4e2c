#pragma once
// The controls of one host process: one per origin, each on a site that
// names its origin, all on the host's single-threaded apartment.
#include <windows.h>
#include <oaidl.h>
#include <ole2.h>

#include <list>
#include <string>

#include "certutil/crypt_handles.h"

namespace bridge {

class ControlPool {
 public:
  ControlPool() = default;
  ControlPool(const ControlPool&) = delete;
  ControlPool& operator=(const ControlPool&) = delete;
  ~ControlPool();

  // The control serving `origin`, created and sited on first use. On
  // failure answers the code and says what failed in *what.
  HRESULT ForOrigin(const std::wstring& origin, ComPtr<IDispatch>* control, std::wstring* what);

  // Closes every control, as a page container does when its pages unload.
  void CloseAll();

 private:
  struct Entry {
    std::wstring origin;
    ComPtr<IDispatch> control;
  };
  HRESULT LoadFactory(std::wstring* what);
  HRESULT CreateSited(const std::wstring& origin, ComPtr<IDispatch>* control, std::wstring* what);
  static void Close(Entry& entry);

  // Enough for every origin a user works with at once; the least recently
  // used control is closed beyond this.
  static constexpr size_t kMaxControls = 32;

  ScopedModule m_module;
  ComPtr<IClassFactory> m_factory;
  std::list<Entry> m_entries;  // most recently used first
};

}  // namespace bridge
