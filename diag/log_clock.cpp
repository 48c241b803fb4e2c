#include "diag/log_clock.h"

#include <atomic>

namespace diag {
namespace {
std::atomic<LocalTimeSource> g_source{nullptr};
}

void ReadLocalTime(SYSTEMTIME* out) {
  LocalTimeSource source = g_source.load(std::memory_order_acquire);
  if (source) source(out);
  else GetLocalTime(out);
}

LocalTimeSource SetLocalTimeSourceForTesting(LocalTimeSource source) {
  return g_source.exchange(source, std::memory_order_acq_rel);
}

}  // namespace diag
