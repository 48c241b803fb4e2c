#pragma once
#include <windows.h>
#include <comcat.h>

namespace tessarn {
extern const GUID kLibid;                 // TessarnLib 1.0
extern const CLSID kClsidControl;         // coclass Tessarn
extern const CLSID kClsidPropPage;
extern const IID kDiidTessarn;            // _DTessarn
extern const IID kDiidTessarnEvents;      // _DTessarnEvents
extern const CATID kCatidSafeForScripting;
extern const CATID kCatidSafeForInitializing;
constexpr WORD kLibMajor = 1;
constexpr WORD kLibMinor = 0;
constexpr wchar_t kProgIdControl[] = L"TESSARN.TessarnCtrl.1";
constexpr wchar_t kProgIdPropPage[] = L"TESSARN.TessarnPropPage.1";
}  // namespace tessarn
