#include "bridge/host/framing.h"

#include <algorithm>

namespace bridge {

namespace {
// Reads exactly `size` bytes; fewer only when the stream ends.
size_t ReadFully(ByteSource& source, uint8_t* buffer, size_t size) {
  size_t got = 0;
  while (got < size) {
    size_t n = source.Read(buffer + got, size - got);
    if (n == 0) break;
    got += n;
  }
  return got;
}
}  // namespace

FrameStatus ReadFrame(ByteSource& source, std::string* payload, uint32_t* announced) {
  payload->clear();
  *announced = 0;
  uint8_t header[4];
  size_t got = ReadFully(source, header, sizeof(header));
  if (got == 0) return FrameStatus::kEnd;
  if (got < sizeof(header)) return FrameStatus::kTruncated;
  uint32_t length = header[0] | (header[1] << 8) | (header[2] << 16) | (static_cast<uint32_t>(header[3]) << 24);
  *announced = length;
  if (length > kMaxRequestBytes) return FrameStatus::kTooLarge;
  // Grown as the bytes arrive, so a frame that promises 64 MiB and sends
  // nothing costs nothing.
  payload->reserve(std::min<size_t>(length, 64 * 1024));
  uint8_t buffer[64 * 1024];
  while (payload->size() < length) {
    size_t n = source.Read(buffer, std::min<size_t>(sizeof(buffer), length - payload->size()));
    if (n == 0) return FrameStatus::kTruncated;
    payload->append(reinterpret_cast<const char*>(buffer), n);
  }
  return FrameStatus::kFrame;
}

std::string EncodeFrame(const std::string& payload) {
  uint32_t n = static_cast<uint32_t>(payload.size());
  std::string out;
  out.reserve(payload.size() + 4);
  for (int k = 0; k < 4; ++k) out.push_back(static_cast<char>((n >> (8 * k)) & 0xFF));
  out.append(payload);
  return out;
}

}  // namespace bridge
