// The bridge host's stream: frames read from arbitrary bytes, and answers of
// any size split into chunks that each stay under the limit and join to the
// whole answer.
#include <algorithm>
#include <cstring>
#include <string>

#include "bridge/host/chunking.h"
#include "bridge/host/framing.h"
#include "bridge/host/json.h"
#include "fuzz/wide_input.h"

using namespace bridge;

namespace {
class MemorySource : public ByteSource {
 public:
  MemorySource(const uint8_t* data, size_t size, size_t step) : m_data(data), m_size(size), m_step(step) {}
  size_t Read(uint8_t* buffer, size_t size) override {
    // Short reads, as a pipe gives them.
    size_t n = std::min({size, m_size - m_at, m_step});
    memcpy(buffer, m_data + m_at, n);
    m_at += n;
    return n;
  }
  size_t At() const { return m_at; }

 private:
  const uint8_t* m_data;
  size_t m_size, m_at = 0, m_step;
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  size_t step = 1 + data[0] % 7;
  size_t limit = 96 + data[1] * 4;  // room for a chunk header and some data
  data += 2;
  size -= 2;

  // Frames: each read frame re-encodes to exactly the bytes it consumed.
  MemorySource source(data, size, step);
  std::string payload;
  uint32_t announced = 0;
  size_t before = 0;
  for (;;) {
    FrameStatus status = ReadFrame(source, &payload, &announced);
    if (status != FrameStatus::kFrame) {
      FUZZ_REQUIRE(status != FrameStatus::kEnd || source.At() == size);
      FUZZ_REQUIRE(status != FrameStatus::kTooLarge || announced > kMaxRequestBytes);
      FUZZ_REQUIRE(payload.size() <= announced);
      break;
    }
    FUZZ_REQUIRE(payload.size() == announced);
    std::string frame = EncodeFrame(payload);
    FUZZ_REQUIRE(frame.size() == source.At() - before);
    FUZZ_REQUIRE(memcmp(frame.data(), data + before, frame.size()) == 0);
    before = source.At();
  }

  // Chunks of an answer made of the input (as text the writer would give).
  std::u16string units;
  for (size_t i = 0; i + 1 < size; i += 2) units.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  Json answer = Json::Object();
  answer.members.emplace_back(u"id", Json::Number(7));
  answer.members.emplace_back(u"result", Json::String(units));
  std::string text = ToJsonText(answer);
  std::vector<std::string> messages = SplitAnswer("7", text, limit);
  FUZZ_REQUIRE(!messages.empty());
  if (text.size() <= limit) {
    FUZZ_REQUIRE(messages.size() == 1 && messages[0] == text);
    return 0;
  }
  std::string joined;
  for (size_t i = 0; i < messages.size(); ++i) {
    FUZZ_REQUIRE(messages[i].size() < limit);
    Json chunk;
    std::string error;
    FUZZ_REQUIRE(ParseJson(messages[i], &chunk, &error));
    FUZZ_REQUIRE(chunk.Find(u"chunk") && chunk.Find(u"chunk")->number == static_cast<double>(i));
    FUZZ_REQUIRE(chunk.Find(u"chunks") && chunk.Find(u"chunks")->number == static_cast<double>(messages.size()));
    const Json* slice = chunk.Find(u"data");
    FUZZ_REQUIRE(slice && slice->type == Json::Type::kString);
    joined += Utf16ToUtf8Lossy(slice->text);
  }
  FUZZ_REQUIRE(joined == text);
  return 0;
}
