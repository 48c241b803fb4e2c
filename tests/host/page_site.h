#pragma once
// A page for the control in the test container: a client site whose
// container is an HTML document that reports a URL (or fails to), and
// whose container moniker may name another URL, as browsers and the bridge
// host site the control.
#include <windows.h>
#include <ocidl.h>

#include <string>

struct PageOptions {
  bool document = false;        // a container that is an HTML document
  bool unreadableUrl = false;   // ... whose get_URL fails
  bool nullUrl = false;         // ... whose get_URL succeeds with no text at all
  std::wstring documentUrl;
  std::wstring monikerUrl;      // a URL moniker for the container (empty: none)
  bool throughObjectSite = false;  // sited by IObjectWithSite::SetSite instead
  HWND window = nullptr;        // the page's window (IOleInPlaceSite::GetWindow)
};

// Sites `control` as the options say; false when the control refused.
bool SiteControl(IDispatch* control, const PageOptions& options);
// Takes every site away again.
void UnsiteControl(IDispatch* control);
