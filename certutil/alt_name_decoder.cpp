#include "certutil/alt_name_decoder.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "certutil/der_text.h"

namespace norelCertInfoUtl {
namespace {

using Element = DerElement;

bool ReadElement(const BYTE* p, size_t n, Element* e) { return ReadDerElement(p, n, e); }

// A bump allocator over one block; every piece is pointer-aligned.
class Arena {
 public:
  explicit Arena(size_t size) : m_base(static_cast<BYTE*>(calloc(1, size))), m_size(size) {}
  ~Arena() { free(m_base); }
  void* Take(size_t n) {
    size_t align = sizeof(void*);
    size_t start = (m_used + align - 1) / align * align;
    if (!m_base || start + n > m_size) return nullptr;
    m_used = start + n;
    return m_base + start;
  }
  [[nodiscard]] BYTE* Detach() {
    BYTE* b = m_base;
    m_base = nullptr;
    return b;
  }

 private:
  BYTE* m_base;
  size_t m_size;
  size_t m_used = 0;
};

wchar_t* CopyAscii(Arena& arena, const BYTE* p, size_t n) {
  auto* w = static_cast<wchar_t*>(arena.Take((n + 1) * sizeof(wchar_t)));
  if (!w) return nullptr;
  for (size_t i = 0; i < n; ++i) w[i] = static_cast<wchar_t>(p[i]);
  w[n] = L'\0';
  return w;
}

char* CopyOid(Arena& arena, const BYTE* p, size_t n) {
  std::wstring dotted = OidToDotted(p, n);
  if (dotted.empty()) return nullptr;
  auto* s = static_cast<char*>(arena.Take(dotted.size() + 1));
  if (!s) return nullptr;
  for (size_t i = 0; i < dotted.size(); ++i) s[i] = static_cast<char>(dotted[i]);
  s[dotted.size()] = '\0';
  return s;
}

bool FillEntry(Arena& arena, const Element& name, CERT_ALT_NAME_ENTRY* entry) {
  DWORD choice = static_cast<DWORD>(name.tag & 0x1F) + 1;
  entry->dwAltNameChoice = choice;
  switch (choice) {
    case CERT_ALT_NAME_OTHER_NAME: {
      // [0] { type-id OID, [0] EXPLICIT value }
      Element oid, value;
      if (!ReadElement(name.content, name.length, &oid) || oid.tag != 0x06) return false;
      if (!ReadElement(oid.content + oid.length, name.length - oid.total, &value) || value.tag != 0xA0) return false;
      auto* other = static_cast<CERT_OTHER_NAME*>(arena.Take(sizeof(CERT_OTHER_NAME)));
      if (!other) return false;
      other->pszObjId = CopyOid(arena, oid.content, oid.length);
      if (!other->pszObjId) return false;
      // The value as Windows hands it out: the encoding inside [0].
      auto* bytes = static_cast<BYTE*>(arena.Take(value.length ? value.length : 1));
      if (!bytes) return false;
      memcpy(bytes, value.content, value.length);
      other->Value.cbData = static_cast<DWORD>(value.length);
      other->Value.pbData = bytes;
      entry->pOtherName = other;
      return true;
    }
    case CERT_ALT_NAME_RFC822_NAME:
    case CERT_ALT_NAME_DNS_NAME:
    case CERT_ALT_NAME_URL:
      entry->pwszRfc822Name = CopyAscii(arena, name.content, name.length);
      return entry->pwszRfc822Name != nullptr;
    case CERT_ALT_NAME_REGISTERED_ID:
      entry->pszRegisteredID = CopyOid(arena, name.content, name.length);
      return entry->pszRegisteredID != nullptr;
    default: {
      // IP addresses, directory names and the rest keep their bytes.
      auto* bytes = static_cast<BYTE*>(arena.Take(name.length ? name.length : 1));
      if (!bytes) return false;
      memcpy(bytes, name.content, name.length);
      entry->IPAddress.cbData = static_cast<DWORD>(name.length);
      entry->IPAddress.pbData = bytes;
      return true;
    }
  }
}

}  // namespace

CERT_ALT_NAME_INFO* DecodeAltNameFallback(const BYTE* data, DWORD size) {
  Element list;
  if (!data || !ReadElement(data, size, &list) || list.tag != 0x30) return nullptr;
  std::vector<Element> names;
  for (size_t at = 0; at < list.length;) {
    Element e;
    if (!ReadElement(list.content + at, list.length - at, &e)) return nullptr;
    names.push_back(e);
    at += e.total;
  }
  // Room for the structures, every byte again as a wide character, and the
  // dotted OIDs (at most four characters per content byte).
  size_t room = sizeof(CERT_ALT_NAME_INFO) + names.size() * (sizeof(CERT_ALT_NAME_ENTRY) + sizeof(CERT_OTHER_NAME) + 64) +
                static_cast<size_t>(size) * 8 + 64;
  Arena arena(room);
  auto* info = static_cast<CERT_ALT_NAME_INFO*>(arena.Take(sizeof(CERT_ALT_NAME_INFO)));
  if (!info) return nullptr;
  info->cAltEntry = static_cast<DWORD>(names.size());
  info->rgAltEntry = static_cast<CERT_ALT_NAME_ENTRY*>(arena.Take(sizeof(CERT_ALT_NAME_ENTRY) * (names.size() + 1)));
  if (!info->rgAltEntry) return nullptr;
  for (size_t i = 0; i < names.size(); ++i) {
    if (!FillEntry(arena, names[i], &info->rgAltEntry[i])) return nullptr;
  }
  return reinterpret_cast<CERT_ALT_NAME_INFO*>(arena.Detach());
}

}  // namespace norelCertInfoUtl
