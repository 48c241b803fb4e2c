#pragma once
// Browsers take at most about a megabyte in one message from a host. A larger
// answer goes out as several messages
//   {"id": ID, "chunk": i, "chunks": n, "data": "<slice>"}
// whose slices, joined in order, are the JSON text of the whole answer.
#include <cstddef>
#include <string>
#include <vector>

namespace bridge {

constexpr size_t kMaxAnswerBytes = 1000000;

// The messages that carry `answer` (valid UTF-8 JSON text) for the request
// whose id is written `idJson`: the answer itself when it is at most `limit`
// bytes, otherwise chunks of fewer than `limit` bytes each (slices end on
// character boundaries). Empty when `idJson` alone leaves no room for data.
std::vector<std::string> SplitAnswer(const std::string& idJson, const std::string& answer,
                                     size_t limit = kMaxAnswerBytes);

}  // namespace bridge
