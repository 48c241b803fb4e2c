#include "framework/exception_boundary.h"

#include <new>

#include "framework/ole_exception.h"

namespace framework {

HRESULT ResultFromCaughtException() noexcept {
  try {
    throw;
  } catch (const OleException& e) {
    return e.Code();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    // A std::exception or anything else a member let through: the caller
    // learns the call failed, and the process goes on.
    return E_UNEXPECTED;
  }
}

}  // namespace framework
