#pragma once
#include <windows.h>
#include <comcat.h>

namespace framework {

// What a control class's self-registration writes under HKEY_CLASSES_ROOT.
struct ControlClassRegistration {
  CLSID clsid;
  const wchar_t* progId;
  UINT userTypeNameId;  // string resource
  UINT toolboxBitmapId;
  bool apartmentThreaded;
  DWORD miscStatus;
  GUID libid;
  WORD libMajor;
  WORD libMinor;
};

bool RegisterControlClass(HINSTANCE module, const ControlClassRegistration& reg);
bool RegisterPropertyPageClass(HINSTANCE module, const CLSID& clsid, UINT userTypeNameId);
// Removes the class key and, when given, the ProgID key.
bool UnregisterClass(const CLSID& clsid, const wchar_t* progId);

// Registers the type library embedded in the module, checking its identity.
bool RegisterTypeLibFromModule(HINSTANCE module, const GUID& libid);
bool UnregisterTypeLibrary(const GUID& libid, WORD major, WORD minor, LCID lcid);

// Component categories, through the platform's categories manager.
HRESULT CreateComponentCategory(const CATID& catid, const wchar_t* description);
HRESULT RegisterClassInCategory(const CLSID& clsid, const CATID& catid);

}  // namespace framework
