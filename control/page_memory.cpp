#include "control/page_memory.h"

#include <windows.h>

#include <map>
#include <memory>
#include <mutex>
#include <set>

namespace page_memory {

namespace {

// Controls live on the threads of the pages that hold them.
std::mutex& Lock() {
  static std::mutex lock;
  return lock;
}

sitelock::ConsentMemory& Denials() {
  static sitelock::ConsentMemory memory([] { return static_cast<uint64_t>(GetTickCount64()); });
  return memory;
}

// Each allowed origin that calls SetLogging; a page cannot make more than
// the site lock lets it, but the count is bounded all the same.
constexpr size_t kMaxLogOrigins = 256;

std::map<std::wstring, std::unique_ptr<std::atomic<int>>>& LogLevels() {
  static std::map<std::wstring, std::unique_ptr<std::atomic<int>>> levels;
  return levels;
}

std::set<std::wstring>& OpenQuestions() {
  static std::set<std::wstring> open;
  return open;
}

}  // namespace

bool BeginQuestion(const std::wstring& origin) {
  std::lock_guard<std::mutex> hold(Lock());
  return OpenQuestions().insert(origin).second;
}

void EndQuestion(const std::wstring& origin) {
  std::lock_guard<std::mutex> hold(Lock());
  OpenQuestions().erase(origin);
}

sitelock::Recall RememberedDenial(const std::wstring& pageUrl, const sitelock::Origin& origin) {
  std::lock_guard<std::mutex> hold(Lock());
  return Denials().Remembered(pageUrl, origin);
}

void RecordDenial(const std::wstring& pageUrl, const sitelock::Origin& origin) {
  std::lock_guard<std::mutex> hold(Lock());
  Denials().RecordDenial(pageUrl, origin);
}

bool HoldsDenials() {
  std::lock_guard<std::mutex> hold(Lock());
  return Denials().HoldsAny();
}

std::atomic<int>* LogLevelOf(const std::wstring& origin) {
  std::lock_guard<std::mutex> hold(Lock());
  auto& levels = LogLevels();
  auto found = levels.find(origin);
  return found == levels.end() ? nullptr : found->second.get();
}

void KeepLogLevel(const std::wstring& origin, int level) {
  std::lock_guard<std::mutex> hold(Lock());
  auto& levels = LogLevels();
  auto found = levels.find(origin);
  if (found != levels.end()) {
    found->second->store(level);
    return;
  }
  if (levels.size() >= kMaxLogOrigins) return;
  levels.emplace(origin, std::make_unique<std::atomic<int>>(level));
}

}  // namespace page_memory

// For the bridge host, which keeps itself (and so this memory) running for
// the browser session while the memory holds a denial: S_OK when it does,
// S_FALSE when not.
extern "C" HRESULT STDAPICALLTYPE TessarnHoldsDenials() { return page_memory::HoldsDenials() ? S_OK : S_FALSE; }
