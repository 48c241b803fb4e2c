#pragma once
// What the user answered "Deny" to, remembered beyond one control, so that a
// page cannot have its question asked again by making a new control,
// reloading or waiting for the bridge to let a control go:
// - a denied page (its address without the fragment) is refused without a
//   question for as long as the memory lives (in a browser, the process;
//   in the bridge host, the browser session: there the page's address is
//   its origin, so a denial covers the whole origin);
// - an origin denied kDenialsBeforeQuiet times is not asked about again for
//   kQuietMs after the last of them, on any of its pages.
// Platform-free; the clock is the caller's, so tests can advance it.
#include <cstdint>
#include <functional>
#include <list>
#include <string>

#include "sitelock/origin.h"

namespace sitelock {

constexpr int kDenialsBeforeQuiet = 3;
constexpr uint64_t kQuietMs = 10 * 60 * 1000;
// A page that makes up addresses (a new query each time) cannot grow the
// memory without bound; the oldest entries go first, and the origin's
// count still stops the questions after kDenialsBeforeQuiet of them.
constexpr size_t kMaxRememberedPages = 1024;
constexpr size_t kMaxRememberedOrigins = 256;

enum class Recall {
  kNothing,      // nothing remembered: the user may be asked
  kPageDenied,   // the user denied this page
  kOriginQuiet,  // the origin was denied repeatedly and is not asked about
};

class ConsentMemory {
 public:
  // Milliseconds from any fixed start, never going back.
  using Clock = std::function<uint64_t()>;
  explicit ConsentMemory(Clock clock) : m_clock(std::move(clock)) {}

  // What is remembered of this page and its origin now.
  Recall Remembered(const std::wstring& page, const Origin& origin);
  void RecordDenial(const std::wstring& page, const Origin& origin);

  // Whether anything is remembered (the bridge host keeps itself running
  // while it is, so that the browser session does not forget it).
  bool HoldsAny() const { return !m_pages.empty() || !m_origins.empty(); }

  // The part of a page's address that names the page: the fragment (which
  // the page changes at will without loading anything) is dropped.
  static std::wstring PageKey(const std::wstring& url);

 private:
  struct OriginDenials {
    std::wstring origin;
    int count = 0;          // denials since the last quiet period began
    uint64_t quietUntil = 0;
    bool quiet = false;
  };
  OriginDenials* Find(const std::wstring& origin);

  Clock m_clock;
  std::list<std::wstring> m_pages;        // most recent first
  std::list<OriginDenials> m_origins;     // most recent first
};

}  // namespace sitelock
