#pragma once
#include <atomic>

// Counts the live objects of every class derived from it, so that a test or
// a leak check can see that nothing of the log outlives its owner.
class CInstanceCounter {
 public:
  CInstanceCounter() noexcept { s_live.fetch_add(1, std::memory_order_relaxed); }
  CInstanceCounter(const CInstanceCounter&) noexcept { s_live.fetch_add(1, std::memory_order_relaxed); }
  CInstanceCounter& operator=(const CInstanceCounter&) noexcept { return *this; }
  virtual ~CInstanceCounter() { s_live.fetch_sub(1, std::memory_order_relaxed); }

  static long LiveInstances() noexcept { return s_live.load(std::memory_order_relaxed); }

 private:
  static std::atomic<long> s_live;
};
