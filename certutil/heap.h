#pragma once
#include <cstdlib>
#include <memory>

// Blocks handed across the engine's interfaces are C heap blocks that the
// receiver releases with free(); MallocPtr holds one until it is handed out.
struct FreeDeleter {
  void operator()(void* p) const { free(p); }
};
template <class T>
using MallocPtr = std::unique_ptr<T, FreeDeleter>;

// A zero-filled block of count elements from calloc (at least one, so a
// zero count still yields a block to free).
template <class T>
MallocPtr<T> AllocZeroed(size_t count) {
  return MallocPtr<T>(static_cast<T*>(calloc(count ? count : 1, sizeof(T))));
}
