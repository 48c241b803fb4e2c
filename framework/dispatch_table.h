#pragma once
#include <windows.h>
#include <oleauto.h>

#include <cstddef>

#include "certutil/crypt_handles.h"

namespace framework {

// Argument kinds a method of the table can take.
enum class ArgKind {
  kBstr,      // read-only wide text, null for a null string
  kI4,        // signed 32-bit integer
  kBytesRef,  // the address of a byte (UI1 by reference), or a byte array
};

// Bytes handed to a kBytesRef argument. A by-reference byte says nothing of
// how many bytes follow it (the caller's buffer), so `bounded` is false; a
// byte array says exactly how many there are.
struct ByteArg {
  const BYTE* data = nullptr;
  size_t size = 0;
  bool bounded = false;
};

constexpr int kMaxDispatchArgs = 4;

// The arguments of one call, already converted to the table's types.
class DispatchArgs {
 public:
  const wchar_t* Bstr(int i) const { return m_texts[i]; }
  UINT BstrLength(int i) const { return SysStringLen(m_texts[i]); }
  long I4(int i) const { return V_I4(m_values[i].Get()); }
  const ByteArg& Bytes(int i) const { return m_bytes[i]; }

 private:
  friend HRESULT ConvertArgs(const struct DispatchEntry&, const DISPPARAMS*, DispatchArgs*, UINT*);
  ScopedVariant m_values[kMaxDispatchArgs];
  // The call's own copies of the arguments that arrived by reference, taken
  // before any argument is converted: converting an object runs the
  // caller's code, which may free or replace the variables it passed.
  ScopedVariant m_owned[kMaxDispatchArgs];
  // Text arguments: the caller's own BSTR when it passed one by value (a
  // page's megabyte of base64 is not copied), the call's copy when it came
  // by reference, otherwise the converted value.
  BSTR m_texts[kMaxDispatchArgs] = {};
  ByteArg m_bytes[kMaxDispatchArgs];
  // Keeps a locked byte array's data valid while the method runs.
  ScopedSafeArrayLock m_locked[kMaxDispatchArgs];

 public:
  DispatchArgs() = default;
  DispatchArgs(const DispatchArgs&) = delete;
  DispatchArgs& operator=(const DispatchArgs&) = delete;
};

// One member of a dispatch interface: a method with its DISPID, name, answer
// type (VT_EMPTY for none, VT_I4 or VT_VARIANT) and arguments.
struct DispatchEntry {
  DISPID dispid;
  const wchar_t* name;
  VARTYPE answer;
  int argCount;
  ArgKind args[kMaxDispatchArgs];
  // Runs the method on `object`; the answer goes to `result` (may throw
  // OleException).
  void (*invoke)(void* object, const DispatchArgs& args, VARIANT* result);
};

struct DispatchTable {
  const DispatchEntry* entries;
  size_t count;

  const DispatchEntry* Find(DISPID dispid) const;
  const DispatchEntry* FindByName(const wchar_t* name) const;  // without regard to case
};

// Converts the caller's arguments (last argument first in rgvarg) to the
// entry's types. Every argument that arrives by reference is copied first,
// so the method reads the values the caller passed at the time of the call
// whatever the caller's code run by a later conversion does; a by-reference
// byte (the first byte of a caller's buffer of untold size) is the one
// reference kept. On a value that cannot be converted answers
// DISP_E_TYPEMISMATCH with its rgvarg index in *argError.
HRESULT ConvertArgs(const DispatchEntry& entry, const DISPPARAMS* params, DispatchArgs* out, UINT* argError);

// IDispatch::Invoke over a table, after the caller checked initialisation.
HRESULT InvokeFromTable(const DispatchTable& table, void* object, DISPID dispid, WORD flags,
                        DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo, UINT* argError);

// IDispatch::GetIDsOfNames over a table: the first name is the member, any
// further names (argument names) get DISPID_UNKNOWN.
HRESULT NamesFromTable(const DispatchTable& table, LPOLESTR* names, UINT count, DISPID* ids);

}  // namespace framework
