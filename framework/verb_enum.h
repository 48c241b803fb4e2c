#pragma once
#include <windows.h>
#include <oleidl.h>

#include <cstddef>

namespace framework {

// An IEnumOLEVERB over a fixed list of verbs (static data, never copied).
// Each verb handed out carries its own copy of the name, allocated with
// CoTaskMemAlloc, which the caller frees as the interface's contract says.
// The enumerator keeps the module loaded while it lives.
HRESULT CreateVerbEnumerator(const OLEVERB* verbs, size_t count, IEnumOLEVERB** out);

}  // namespace framework
