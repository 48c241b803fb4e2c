// tessarn-host: the native-messaging host of the browser bridge (host name
// zorv.tessarn). The browser starts it and talks to it over standard input
// and output; each request becomes a call on a Tessarn control sited for the
// requesting origin, on this thread's single-threaded apartment, whose
// message loop keeps the control's dialogs working.
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <ole2.h>

#include <cstdio>
#include <new>
#include <string>

#include "bridge/host/chunking.h"
#include "bridge/host/control_pool.h"
#include "bridge/host/dispatcher.h"
#include "bridge/host/protocol.h"
#include "bridge/host/stdio_stream.h"
#include "certutil/crypt_handles.h"

namespace {

// Exit codes: the stream ended between messages, or it broke (a frame too
// large or cut short) and the host stopped after saying so.
constexpr int kExitEnded = 0;
constexpr int kExitStreamFault = 2;
constexpr int kExitStartFailed = 3;

class OleApartment {
 public:
  OleApartment() : m_hr(OleInitialize(nullptr)) {}
  ~OleApartment() {
    if (SUCCEEDED(m_hr)) OleUninitialize();
  }
  HRESULT Result() const { return m_hr; }

 private:
  HRESULT m_hr;
};

void Note(const char* text) {
  // Browsers keep a host's standard error in their own log.
  fputs("tessarn-host: ", stderr);
  fputs(text, stderr);
  fputc('\n', stderr);
  fflush(stderr);
}

// Sends one answer, split when it is too large for one message; false once
// the browser is gone.
bool Send(HANDLE output, const std::string& idJson, const std::string& answer) {
  std::vector<std::string> messages;
  try {
    messages = bridge::SplitAnswer(idJson, answer);
  } catch (const std::bad_alloc&) {
    messages.clear();
  }
  if (messages.empty())
    messages.push_back(bridge::ErrorAnswer(idJson, bridge::kHresultOutOfMemory,
                                           bridge::DescribeHresult(bridge::kHresultOutOfMemory)));
  for (const std::string& m : messages)
    if (!bridge::WriteMessage(output, m)) return false;
  return true;
}

int Serve() {
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  if (!input || input == INVALID_HANDLE_VALUE || !output || output == INVALID_HANDLE_VALUE) {
    Note("no standard input or output");
    return kExitStartFailed;
  }
  // Nothing in this process may write text to the answers' stream through
  // the C runtime; binary mode keeps the runtime's own streams byte-exact.
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);

  OleApartment apartment;
  if (FAILED(apartment.Result())) {
    Note("cannot enter a single-threaded apartment");
    return kExitStartFailed;
  }
  bridge::IncomingQueue queue;
  ScopedKernelHandle reader(bridge::StartReader(input, &queue));
  if (!reader.Get() || !queue.ReadyEvent()) {
    Note("cannot start reading");
    return kExitStartFailed;
  }

  bridge::ControlPool pool;
  bridge::Dispatcher dispatcher(pool);
  HANDLE ready = queue.ReadyEvent();
  bool holdSent = false;
  for (;;) {
    bridge::Incoming item;
    while (queue.Pop(&item)) {
      switch (item.status) {
        case bridge::FrameStatus::kFrame: {
          std::string answer, id = "null";
          try {
            answer = dispatcher.Handle(item.payload, &id);
          } catch (const std::bad_alloc&) {
            answer = bridge::ErrorAnswer(id, bridge::kHresultOutOfMemory,
                                         bridge::DescribeHresult(bridge::kHresultOutOfMemory));
          } catch (...) {
            // Whatever else a request provokes answers that request; it
            // never ends the host and the other pages' controls with it.
            answer = bridge::ErrorAnswer(id, bridge::kHresultUnexpected,
                                         bridge::DescribeHresult(bridge::kHresultUnexpected));
          }
          item.payload.clear();
          item.payload.shrink_to_fit();
          // Once the user has denied a page, the extension is told to keep
          // this process (and the denial) for the rest of the browser
          // session instead of letting it go when idle.
          if (!holdSent && pool.HoldsDenials()) {
            holdSent = true;
            if (!bridge::WriteMessage(output, "{\"hold\":true}")) {
              pool.CloseAll();
              return kExitEnded;
            }
          }
          if (!Send(output, id, answer)) {
            Note("the browser closed the answers' stream");
            pool.CloseAll();
            return kExitEnded;
          }
          break;
        }
        case bridge::FrameStatus::kEnd:
          pool.CloseAll();
          return kExitEnded;
        case bridge::FrameStatus::kTruncated:
          Send(output, "null", bridge::ErrorAnswer("null", bridge::kHresultInvalidData,
                                                   "The stream ended inside a message."));
          Note("the stream ended inside a message");
          pool.CloseAll();
          return kExitStreamFault;
        case bridge::FrameStatus::kTooLarge:
          Send(output, "null",
               bridge::ErrorAnswer("null", bridge::kHresultInvalidData,
                                   "The message announces " + std::to_string(item.announced) +
                                       " bytes, more than the " + std::to_string(bridge::kMaxRequestBytes) +
                                       " a request may have."));
          Note("a message was too large; stopping");
          pool.CloseAll();
          return kExitStreamFault;
      }
    }
    // Wait for the next request while the apartment's window messages flow.
    DWORD woke = MsgWaitForMultipleObjectsEx(1, &ready, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (woke == WAIT_OBJECT_0 + 1) {
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
          pool.CloseAll();
          return kExitEnded;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
    } else if (woke == WAIT_FAILED) {
      Note("waiting for requests failed");
      pool.CloseAll();
      return kExitStartFailed;
    }
  }
}

}  // namespace

int wmain() {
  // No error boxes from the loader or the system: nobody sees this
  // process's console.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  int code = Serve();
  // The reader thread may still be blocked on the pipe; ending the process
  // ends it.
  ExitProcess(static_cast<UINT>(code));
}
