#pragma once
#include <windows.h>
#include <oleauto.h>

#include <functional>
#include <string>
#include <vector>

// The "host" object a test script sees: output, assertions and the few
// services of the test machine a script needs (files, environment, the
// thread's user-interface language, making more controls).
class HostObject : public IDispatch {
 public:
  explicit HostObject(std::vector<std::wstring> args);
  virtual ~HostObject() = default;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO*, UINT*) override;

  int Failures() const { return m_failures; }
  int Checks() const { return m_checks; }
  int CheckFailures() const { return m_checkFailures; }
  void Fail(const std::wstring& message);
  // What host.Unsite() does.
  void SetUnsite(std::function<void()> unsite) { m_unsite = std::move(unsite); }

 private:
  LONG m_refs = 1;
  int m_failures = 0;
  int m_checks = 0;
  int m_checkFailures = 0;
  std::vector<std::wstring> m_args;
  std::function<void()> m_unsite;
};

// Creates the control by ProgID and initialises it ("bag", "stream",
// "storage" or "none").
HRESULT CreateControl(const wchar_t* progId, const wchar_t* init, IDispatch** control);

// UTF-8 console output.
void Print(const std::wstring& text);
