#include "framework/verb_enum.h"

#include <cwchar>
#include <new>

#include "framework/com_object.h"
#include "framework/enum_cursor.h"
#include "framework/module.h"

namespace framework {
namespace {

class VerbEnumerator : public ComObject<VerbEnumerator, IEnumOLEVERB> {
 public:
  VerbEnumerator(const OLEVERB* verbs, size_t count, size_t position)
      : m_verbs(verbs), m_cursor(count, position) {
    LockModule();
  }
  ~VerbEnumerator() override { UnlockModule(); }

  static const InterfaceTable& Interfaces() {
    static const InterfaceEntry kRows[] = {
        InterfaceRow<VerbEnumerator, IEnumOLEVERB>(IID_IUnknown),
        InterfaceRow<VerbEnumerator, IEnumOLEVERB>(IID_IEnumOLEVERB),
    };
    static const InterfaceTable kTable{kRows, sizeof(kRows) / sizeof(kRows[0])};
    return kTable;
  }

  HRESULT STDMETHODCALLTYPE Next(ULONG wanted, OLEVERB* out, ULONG* fetched) override {
    if (fetched) *fetched = 0;
    if (wanted == 0) return S_OK;
    if (!out) return E_POINTER;
    // Only one at a time may be asked for without a count to report.
    if (!fetched && wanted != 1) return E_INVALIDARG;
    ULONG given = 0;
    while (given < wanted && !m_cursor.AtEnd()) {
      const OLEVERB& verb = m_verbs[m_cursor.Position()];
      OLEVERB copy = verb;
      if (verb.lpszVerbName) {
        size_t bytes = (wcslen(verb.lpszVerbName) + 1) * sizeof(wchar_t);
        copy.lpszVerbName = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
        if (!copy.lpszVerbName) {
          // Nothing half-given: free what this call handed out.
          for (ULONG i = 0; i < given; ++i) CoTaskMemFree(out[i].lpszVerbName);
          m_cursor.StepBack(given);
          return E_OUTOFMEMORY;
        }
        memcpy(copy.lpszVerbName, verb.lpszVerbName, bytes);
      }
      out[given++] = copy;
      m_cursor.Advance();
    }
    if (fetched) *fetched = given;
    return given == wanted ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override { return m_cursor.Skip(count); }
  HRESULT STDMETHODCALLTYPE Reset() override {
    m_cursor.Reset();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IEnumOLEVERB** out) override {
    if (!out) return E_POINTER;
    *out = new (std::nothrow) VerbEnumerator(m_verbs, m_cursor.Count(), m_cursor.Position());
    return *out ? S_OK : E_OUTOFMEMORY;
  }

 private:
  const OLEVERB* m_verbs;
  EnumCursor m_cursor;
};

}  // namespace

HRESULT CreateVerbEnumerator(const OLEVERB* verbs, size_t count, IEnumOLEVERB** out) {
  if (!out) return E_POINTER;
  *out = new (std::nothrow) VerbEnumerator(verbs, count, 0);
  return *out ? S_OK : E_OUTOFMEMORY;
}

}  // namespace framework
