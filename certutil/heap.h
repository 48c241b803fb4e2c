#pragma once
#include <cstdlib>
#include <memory>

// Blocks handed across the engine's interfaces are C heap blocks that the
// receiver releases with free(); HeapPtr holds one until it is handed out.
struct FreeDeleter {
  void operator()(void* p) const { free(p); }
};
template <class T>
using HeapPtr = std::unique_ptr<T, FreeDeleter>;

template <class T>
HeapPtr<T> HeapAlloc(size_t count) {
  return HeapPtr<T>(static_cast<T*>(calloc(count ? count : 1, sizeof(T))));
}
