#pragma once
// The native-messaging stream: each message is a 4-byte little-endian
// length and then that many bytes of UTF-8 JSON, in both directions.
#include <cstddef>
#include <cstdint>
#include <string>

namespace bridge {

// The largest request the host reads: a frame announcing more is refused.
constexpr uint32_t kMaxRequestBytes = 64u << 20;

// Where the frames come from: Read fills up to `size` bytes and answers how
// many it gave, 0 only at the end of the stream.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual size_t Read(uint8_t* buffer, size_t size) = 0;
};

enum class FrameStatus {
  kFrame,      // *payload holds one whole message
  kEnd,        // the stream ended cleanly between messages
  kTruncated,  // the stream ended inside a length or a message
  kTooLarge,   // the length announces more than kMaxRequestBytes
};

// Reads the next message. *announced receives the length the frame gave.
FrameStatus ReadFrame(ByteSource& source, std::string* payload, uint32_t* announced);

// A message with its length in front.
std::string EncodeFrame(const std::string& payload);

}  // namespace bridge
