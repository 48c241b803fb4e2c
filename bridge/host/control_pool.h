#pragma once
// The controls of one host process: one per page (an origin and the
// browser's name for one loaded document of it), each on a site that names
// its origin, all on the host's single-threaded apartment. A page's control
// holds the site lock's "Allow once" for that page: a reload or another
// page of the origin is a new document, gets a new control and is asked
// again. A denial is kept by the control's module for the whole process,
// whichever controls come and go.
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

  // The control serving `document` of `origin`, created and sited on first
  // use. On failure answers the code and says what failed in *what.
  HRESULT ForPage(const std::wstring& origin, const std::wstring& document, ComPtr<IDispatch>* control,
                  std::wstring* what);

  // Whether the control's module remembers a user's denial: the host must
  // then outlive idle spells, or the browser session would forget it.
  bool HoldsDenials();

  // Closes every control, as a page container does when its pages unload.
  void CloseAll();

 private:
  struct Entry {
    std::wstring origin;
    std::wstring document;
    ComPtr<IDispatch> control;
  };
  HRESULT LoadFactory(std::wstring* what);
  HRESULT CreateSited(const std::wstring& origin, ComPtr<IDispatch>* control, std::wstring* what);
  static void Close(Entry& entry);

  // Enough for every page a user works with at once; the least recently
  // used control is closed beyond this (its page is asked again if it had
  // only "Allow once").
  static constexpr size_t kMaxControls = 32;

  ScopedModule m_module;
  ComPtr<IClassFactory> m_factory;
  std::list<Entry> m_entries;  // most recently used first
};

}  // namespace bridge
