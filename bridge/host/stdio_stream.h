#pragma once
// The browser's end of the pipe: requests on standard input, answers on
// standard output, both read and written as raw bytes through the handles
// (no C runtime text mode, so CR/LF pairs and 0x1A bytes pass unchanged).
#include <windows.h>

#include <deque>
#include <string>

#include "bridge/host/framing.h"
#include "certutil/crypt_handles.h"

namespace bridge {

class HandleSource : public ByteSource {
 public:
  explicit HandleSource(HANDLE handle) : m_handle(handle) {}
  size_t Read(uint8_t* buffer, size_t size) override;

 private:
  HANDLE m_handle;
};

// Writes one whole message (with its length); false once the reader is gone.
bool WriteMessage(HANDLE handle, const std::string& payload);

// What the reading thread found: a request, or how the stream ended.
struct Incoming {
  FrameStatus status = FrameStatus::kEnd;
  std::string payload;
  uint32_t announced = 0;
};

// Requests read ahead of the calls, handed from the reading thread to the
// apartment's thread. The reader waits while too much is queued, so a fast
// browser cannot make the host hold unbounded memory.
class IncomingQueue {
 public:
  IncomingQueue();
  ~IncomingQueue();
  IncomingQueue(const IncomingQueue&) = delete;
  IncomingQueue& operator=(const IncomingQueue&) = delete;

  void Push(Incoming item);
  bool Pop(Incoming* item);
  // Signalled while the queue holds something.
  HANDLE ReadyEvent() const { return m_ready.Get(); }

 private:
  static constexpr size_t kMaxQueuedBytes = 128u << 20;
  CRITICAL_SECTION m_lock;
  CONDITION_VARIABLE m_space;
  ScopedKernelHandle m_ready;
  std::deque<Incoming> m_items;
  size_t m_bytes = 0;
};

// Reads frames from `input` into `queue` on a thread of its own until the
// stream ends or breaks (the last item says how).
HANDLE StartReader(HANDLE input, IncomingQueue* queue);

}  // namespace bridge
