#pragma once
#include <windows.h>

#include <cstddef>

namespace framework {

// Where a COM enumerator (IEnumXxx) stands in its fixed list of items, with
// Skip and Reset answering as every enumerator interface requires.
class EnumCursor {
 public:
  EnumCursor(size_t count, size_t position) : m_count(count), m_position(position) {}

  size_t Count() const { return m_count; }
  size_t Position() const { return m_position; }
  bool AtEnd() const { return m_position >= m_count; }
  void Advance() { ++m_position; }
  // Takes back items a failed Next had already counted as handed out.
  void StepBack(size_t items) { m_position -= items; }
  // S_FALSE when fewer than `count` items were left: the cursor then stands
  // at the end.
  HRESULT Skip(ULONG count) {
    size_t left = m_count - m_position;
    if (count > left) {
      m_position = m_count;
      return S_FALSE;
    }
    m_position += count;
    return S_OK;
  }
  void Reset() { m_position = 0; }

 private:
  size_t m_count;
  size_t m_position;
};

}  // namespace framework
