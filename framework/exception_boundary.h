#pragma once
#include <windows.h>

namespace framework {

// The one place a C++ exception becomes an HRESULT before it would cross a
// COM boundary (where it would end the host process). Call it only from
// inside a catch block, usually `catch (...)`: it rethrows what is being
// handled and answers
//   OleException       -> the code it carries,
//   std::bad_alloc     -> E_OUTOFMEMORY,
//   anything else      -> E_UNEXPECTED.
HRESULT ResultFromCaughtException() noexcept;

}  // namespace framework
