#pragma once
#include <windows.h>
#include <comcat.h>

#include "certutil/crypt_handles.h"

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

// Whose classes a registration writes: the machine's (HKEY_CLASSES_ROOT as
// the platform resolves it) or only the current user's
// (HKEY_CURRENT_USER\Software\Classes, which needs no administrator).
enum class RegistrationScope { kMachine, kUser };

// Registers the type library embedded in the module, checking its identity.
bool RegisterTypeLibFromModule(HINSTANCE module, const GUID& libid);
bool UnregisterTypeLibrary(const GUID& libid, WORD major, WORD minor, LCID lcid);

// The same for the current user only: the keys the platform's type library
// registration writes (TypeLib\{libid}\major.minor with its name, FLAGS,
// HELPDIR and the module's path; Interface\{iid} for every dispatch or
// Automation interface, in both registry views), written to and removed from
// HKEY_CURRENT_USER\Software\Classes by this code. The platform's own
// per-user calls are not used: Wine's register the library for the machine,
// and its removal takes the 32-bit view's interface keys from the machine's
// classes even while HKEY_CLASSES_ROOT stands for the user's.
bool RegisterTypeLibForUserFromModule(HINSTANCE module, const GUID& libid);
bool UnregisterTypeLibForUser(HINSTANCE module, const GUID& libid);

// Component categories, through the platform's categories manager.
HRESULT CreateComponentCategory(const CATID& catid, const wchar_t* description);
HRESULT RegisterClassInCategory(const CLSID& clsid, const CATID& catid);

// A class's membership in a category written directly into
// HKEY_CLASSES_ROOT, as the categories manager writes it (an empty key under
// the class's "Implemented Categories"). Per-user registration uses this:
// the manager is itself a class found through HKEY_CLASSES_ROOT, which
// stands for the user's classes while that registration runs.
bool WriteClassInCategory(const CLSID& clsid, const CATID& catid);

// While alive, HKEY_CLASSES_ROOT in this process means the current user's
// HKEY_CURRENT_USER\Software\Classes, so that every registration step
// (ours and the platform's type library registration) writes and removes
// there. The redirection is process-wide: it is meant for the short life of
// a registration entry point, as regsvr32 calls it.
class PerUserClassesRoot {
 public:
  PerUserClassesRoot();
  ~PerUserClassesRoot();
  PerUserClassesRoot(const PerUserClassesRoot&) = delete;
  PerUserClassesRoot& operator=(const PerUserClassesRoot&) = delete;
  // ERROR_SUCCESS when the redirection is in place.
  LONG status() const { return m_status; }

 private:
  ScopedRegKey m_classes;
  LONG m_status;
};

}  // namespace framework
