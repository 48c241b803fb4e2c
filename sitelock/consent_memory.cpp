#include "sitelock/consent_memory.h"

#include <algorithm>

namespace sitelock {

std::wstring ConsentMemory::PageKey(const std::wstring& url) {
  size_t hash = url.find(L'#');
  return hash == std::wstring::npos ? url : url.substr(0, hash);
}

ConsentMemory::OriginDenials* ConsentMemory::Find(const std::wstring& origin) {
  for (auto it = m_origins.begin(); it != m_origins.end(); ++it) {
    if (it->origin != origin) continue;
    m_origins.splice(m_origins.begin(), m_origins, it);
    return &m_origins.front();
  }
  return nullptr;
}

Recall ConsentMemory::Remembered(const std::wstring& page, const Origin& origin) {
  std::wstring key = PageKey(page);
  if (std::find(m_pages.begin(), m_pages.end(), key) != m_pages.end()) return Recall::kPageDenied;
  OriginDenials* denials = Find(origin.Text());
  if (denials && denials->quiet) {
    if (m_clock() < denials->quietUntil) return Recall::kOriginQuiet;
    denials->quiet = false;  // the quiet period is over: the next three count afresh
  }
  return Recall::kNothing;
}

void ConsentMemory::RecordDenial(const std::wstring& page, const Origin& origin) {
  std::wstring key = PageKey(page);
  auto found = std::find(m_pages.begin(), m_pages.end(), key);
  if (found != m_pages.end()) m_pages.erase(found);
  m_pages.push_front(key);
  if (m_pages.size() > kMaxRememberedPages) m_pages.pop_back();

  OriginDenials* denials = Find(origin.Text());
  if (!denials) {
    m_origins.push_front(OriginDenials{origin.Text()});
    denials = &m_origins.front();
    if (m_origins.size() > kMaxRememberedOrigins) {
      // The least recently denied origin that is not being kept quiet goes.
      for (auto it = std::prev(m_origins.end()); it != m_origins.begin(); --it) {
        if (!it->quiet) {
          m_origins.erase(it);
          break;
        }
      }
    }
  }
  if (++denials->count >= kDenialsBeforeQuiet) {
    denials->count = 0;
    denials->quiet = true;
    denials->quietUntil = m_clock() + kQuietMs;
  }
}

}  // namespace sitelock
