#include <windows.h>
extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return S_OK; }
extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID, REFIID, void** ppv) { *ppv = nullptr; return CLASS_E_CLASSNOTAVAILABLE; }
extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() { return E_NOTIMPL; }
extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() { return E_NOTIMPL; }
