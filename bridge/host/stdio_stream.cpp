#include "bridge/host/stdio_stream.h"

#include <limits>

namespace bridge {

size_t HandleSource::Read(uint8_t* buffer, size_t size) {
  DWORD want = size > (1u << 20) ? (1u << 20) : static_cast<DWORD>(size);
  DWORD got = 0;
  // A broken pipe is the browser closing its end: the same as the end.
  if (!ReadFile(m_handle, buffer, want, &got, nullptr)) return 0;
  return got;
}

bool WriteMessage(HANDLE handle, const std::string& payload) {
  std::string frame = EncodeFrame(payload);
  size_t done = 0;
  while (done < frame.size()) {
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(frame.size() - done, 1u << 20));
    DWORD written = 0;
    if (!WriteFile(handle, frame.data() + done, chunk, &written, nullptr) || written == 0) return false;
    done += written;
  }
  return true;
}

IncomingQueue::IncomingQueue() {
  InitializeCriticalSection(&m_lock);
  InitializeConditionVariable(&m_space);
  m_ready.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
}

IncomingQueue::~IncomingQueue() {
  DeleteCriticalSection(&m_lock);
}

void IncomingQueue::Push(Incoming item) {
  EnterCriticalSection(&m_lock);
  while (!m_items.empty() && m_bytes + item.payload.size() > kMaxQueuedBytes)
    SleepConditionVariableCS(&m_space, &m_lock, INFINITE);
  m_bytes += item.payload.size();
  m_items.push_back(std::move(item));
  SetEvent(m_ready.Get());
  LeaveCriticalSection(&m_lock);
}

bool IncomingQueue::Pop(Incoming* item) {
  EnterCriticalSection(&m_lock);
  bool got = !m_items.empty();
  if (got) {
    *item = std::move(m_items.front());
    m_items.pop_front();
    m_bytes -= item->payload.size();
    WakeAllConditionVariable(&m_space);
  }
  if (m_items.empty()) ResetEvent(m_ready.Get());
  LeaveCriticalSection(&m_lock);
  return got;
}

namespace {

struct ReaderStart {
  HANDLE input;
  IncomingQueue* queue;
};

DWORD WINAPI ReaderThread(void* parameter) {
  ReaderStart start = *static_cast<ReaderStart*>(parameter);
  delete static_cast<ReaderStart*>(parameter);
  HandleSource source(start.input);
  for (;;) {
    Incoming item;
    try {
      item.status = ReadFrame(source, &item.payload, &item.announced);
    } catch (const std::bad_alloc&) {
      item.status = FrameStatus::kTooLarge;
      item.payload.clear();
    }
    bool last = item.status != FrameStatus::kFrame;
    start.queue->Push(std::move(item));
    if (last) return 0;
  }
}

}  // namespace

HANDLE StartReader(HANDLE input, IncomingQueue* queue) {
  auto* start = new ReaderStart{input, queue};
  HANDLE thread = CreateThread(nullptr, 0, ReaderThread, start, 0, nullptr);
  if (!thread) delete start;
  return thread;
}

}  // namespace bridge
