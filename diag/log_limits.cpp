#include "diag/log_limits.h"


namespace diag {

std::wstring CutArgument(const wchar_t* text, size_t length) {
  if (length <= kMaxArgumentChars) return std::wstring(text, length);
  size_t keep = kMaxArgumentChars;
  // A surrogate pair is kept whole or left out whole.
  if (text[keep - 1] >= 0xD800 && text[keep - 1] <= 0xDBFF) --keep;
  std::wstring cut(text, keep);
  cut += L"... [" + std::to_wstring(length - keep) + L" more characters]";
  return cut;
}

void CutArgument(std::wstring* text) {
  if (text->size() > kMaxArgumentChars) *text = CutArgument(text->data(), text->size());
}

DayBudget Budget(uint64_t fileBytes, uint64_t entryBytes, bool endsWithLimitLine) {
  const uint64_t threshold = kMaxDayFileBytes - kDayLimitRoom;
  if (endsWithLimitLine || fileBytes >= threshold) return DayBudget::kDrop;
  if (entryBytes > threshold - fileBytes) return DayBudget::kWriteLimitLine;
  return DayBudget::kWrite;
}

}  // namespace diag
