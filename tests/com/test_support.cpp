#include "tests/com/test_support.h"
#include "tests/support/dispids.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace testing_support {

std::wstring ModulePath() {
  wchar_t buf[1024] = {};
  GetEnvironmentVariableW(L"TESSARN_MODULE", buf, 1024);
  return buf;
}

std::wstring GuidText(const GUID& guid) {
  wchar_t text[40] = {};
  StringFromGUID2(guid, text, 40);
  return text;
}

ComPtr<IDispatch> CreateControl(Init init) {
  ComPtr<IDispatch> d;
  CLSID clsid;
  if (FAILED(CLSIDFromProgID(L"TESSARN.TessarnCtrl.1", &clsid))) return d;
  if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, d.ReceiveVoid()))) return d;
  if (init == Init::kPropertyBag) {
    ComPtr<IPersistPropertyBag> bag;
    if (FAILED(d.As(bag)) || FAILED(bag->InitNew())) d.Reset();
  } else if (init == Init::kStreamInit) {
    ComPtr<IPersistStreamInit> s;
    if (FAILED(d.As(s)) || FAILED(s->InitNew())) d.Reset();
  }
  return d;
}

HRESULT Call(IDispatch* d, DISPID id, std::vector<VARIANT> args, VARIANT* result, UINT* argError, SCODE* exception) {
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());
  DISPPARAMS params = {reversed.empty() ? nullptr : reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  EXCEPINFO info = {};
  UINT err = 0;
  HRESULT hr = d->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, result, &info, &err);
  if (argError) *argError = err;
  if (exception) *exception = info.scode;
  for (VARIANT& v : reversed) VariantClear(&v);
  SysFreeString(info.bstrDescription);
  SysFreeString(info.bstrSource);
  SysFreeString(info.bstrHelpFile);
  return hr;
}

VARIANT Bstr(const wchar_t* text) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_BSTR;
  V_BSTR(&v) = text ? SysAllocString(text) : nullptr;
  return v;
}

VARIANT I4(long value) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_I4;
  V_I4(&v) = value;
  return v;
}

std::vector<std::wstring> AnswerTexts(const VARIANT& answer, long* code) {
  std::vector<std::wstring> texts;
  *code = -1;
  if (V_VT(&answer) != (VT_ARRAY | VT_VARIANT)) return texts;
  SAFEARRAY* a = V_ARRAY(&answer);
  LONG lo = 0, hi = -1;
  SafeArrayGetLBound(a, 1, &lo);
  SafeArrayGetUBound(a, 1, &hi);
  for (LONG i = lo; i <= hi; ++i) {
    VARIANT v;
    VariantInit(&v);
    SafeArrayGetElement(a, &i, &v);
    if (i == lo) *code = V_VT(&v) == VT_I4 ? V_I4(&v) : -2;
    else texts.push_back(V_VT(&v) == VT_BSTR && V_BSTR(&v) ? std::wstring(V_BSTR(&v), SysStringLen(V_BSTR(&v))) : L"");
    VariantClear(&v);
  }
  return texts;
}

long AnswerCode(const VARIANT& answer) {
  if (V_VT(&answer) == VT_I4) return V_I4(&answer);
  long code = -1;
  AnswerTexts(answer, &code);
  return code;
}

ComScope::ComScope() : m_result(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {
  if (FAILED(m_result)) ADD_FAILURE() << "CoInitializeEx: 0x" << std::hex << static_cast<unsigned long>(m_result);
}

ComScope::~ComScope() {
  if (SUCCEEDED(m_result)) CoUninitialize();
}

bool StillAnswers(IDispatch* control) {
  ScopedVariant r;
  return Call(control, dispid::kLibGetInfo, {I4(0)}, r.Get()) == S_OK && AnswerCode(*r.Get()) == 0;
}

VARIANT ByteArrayByRef(VARIANT* holder, bool inVariant) {
  VARIANT ref;
  VariantInit(&ref);
  if (inVariant) {
    V_VT(&ref) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&ref) = holder;
  } else {
    V_VT(&ref) = VT_BYREF | VT_ARRAY | VT_UI1;
    V_ARRAYREF(&ref) = &V_ARRAY(holder);
  }
  return ref;
}

bool KeyExists(HKEY root, const std::wstring& path, REGSAM view) {
  ScopedRegKey key;
  return RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, OutParam(key)) == ERROR_SUCCESS;
}

std::wstring ReadString(HKEY root, const std::wstring& path, const wchar_t* name, bool* found, REGSAM view) {
  if (found) *found = false;
  ScopedRegKey key;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_QUERY_VALUE | view, OutParam(key)) != ERROR_SUCCESS) return L"";
  wchar_t buf[1024] = {};
  DWORD size = sizeof(buf) - sizeof(wchar_t);
  DWORD type = 0;
  LONG rc = RegGetValueW(key.Get(), nullptr, name, RRF_RT_REG_SZ, &type, buf, &size);
  if (found) *found = rc == ERROR_SUCCESS;
  return rc == ERROR_SUCCESS ? buf : L"";
}

}  // namespace testing_support
