// Several controls, each in an apartment thread of its own, enumerating,
// signing and converting (beside bare platform signing of the same key), while another control switches the temporary log's
// level without pause; a second process logs into the same day's files at
// the same time. Nothing crashes or hangs, every call answers 0, and every
// entry in the log files is whole: the directory log (shared) holds every
// entry, the temporary log (unshared) each entry whole or not at all.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "tests/bench/bare_jobs.h"
#include "tests/certutil/pki.h"
#include "tests/com/test_support.h"
#include "tests/host/pki_stores.h"
#include "tests/robustness/log_files.h"
#include "tests/support/dispids.h"

using namespace testing_support;

namespace {

constexpr int kWorkers = 4;
constexpr int kRounds = 60;
// Longer than a C runtime stream buffer, so that an entry cannot be written
// by one buffer flush by chance.
constexpr size_t kValueChars = 6000;
constexpr size_t kKeptChars = 4096;  // what a log entry keeps of an argument

// A base64 text that names its writer and call.
std::wstring Marker(DWORD process, int thread, int round) {
  wchar_t head[64];
  swprintf(head, 64, L"P%08luT%dC%06d", static_cast<unsigned long>(process), thread, round);
  std::wstring value = head;
  value.append(kValueChars - value.size(), L'x');
  return value;
}

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

struct Shared {
  std::wstring cert;
  PCCERT_CONTEXT bareCert = nullptr;
  std::atomic<bool> stop{false};
  std::atomic<int> failures{0};
  // Bare platform signing of the same key beside the controls: a failure
  // there would be the platform's, not the control's.
  std::atomic<int> bareSigningFailures{0};
  std::atomic<long> levelSwitches{0};
};

long CodeOf(IDispatch* control, DISPID id, std::vector<VARIANT> args) {
  ScopedVariant r;
  SCODE exception = 0;
  HRESULT hr = Call(control, id, std::move(args), r.Get(), nullptr, &exception);
  long code = hr == S_OK ? AnswerCode(*r.Get()) : -100;
  if (code != 0)
    std::printf("method %ld answered %ld (HRESULT 0x%08lx, exception 0x%08lx)\n", id, code, static_cast<unsigned long>(hr),
                static_cast<unsigned long>(exception));
  return code;
}

struct Worker {
  Shared* shared;
  int index;
  bool sign;
};

DWORD WINAPI WorkerThread(void* p) {
  Worker* w = static_cast<Worker*>(p);
  ComScope com;
  {
    ComPtr<IDispatch> control = CreateControl();
    if (FAILED(com.Result()) || !control) {
      ++w->shared->failures;
    } else {
      for (int round = 0; round < kRounds; ++round) {
        std::wstring value = Marker(GetCurrentProcessId(), w->index, round);
        if (CodeOf(control.Get(), dispid::kStringToBinary, {Bstr(value.c_str()), I4(1)}) != 0) ++w->shared->failures;
        if (CodeOf(control.Get(), dispid::kCertEnum, {I4(0x183)}) != 0) ++w->shared->failures;
        if (w->sign && CodeOf(control.Get(), dispid::kSignPKCS7, {Bstr(w->shared->cert.c_str()), Bstr(L"YWJj"), Bstr(L"SHA1")}) != 0)
          ++w->shared->failures;
      }
    }
  }
  return 0;
}

// The same signing as SignPKCS7, made with the bare platform calls at the
// same time as the load.
DWORD WINAPI BareSigner(void* p) {
  Shared* shared = static_cast<Shared*>(p);
  for (int round = 0; round < kRounds; ++round)
    if (!bare::SignMessage(shared->bareCert, L"YWJj")) ++shared->bareSigningFailures;
  return 0;
}

DWORD WINAPI LevelSwitcher(void* p) {
  Shared* shared = static_cast<Shared*>(p);
  ComScope com;
  {
    ComPtr<IDispatch> control = CreateControl();
    if (FAILED(com.Result()) || !control) ++shared->failures;
    const wchar_t* levels[] = {L"TRACE", L"NONE", L"info", L"DEBUG", L"error", L"Warning", L"FATAL"};
    for (long i = 0; control && !shared->stop; ++i) {
      if (CodeOf(control.Get(), dispid::kSetLogging, {Bstr(levels[i % 7])}) != 0) ++shared->failures;
      ++shared->levelSwitches;
    }
    // Leave the level where the checks below expect entries.
    if (control) CodeOf(control.Get(), dispid::kSetLogging, {Bstr(L"TRACE")});
  }
  return 0;
}

// Runs the workers (and, in the first process, the level switcher and the
// bare signers); answers the number of failed calls.
int RunLoad(bool switchLevels, bool sign) {
  Shared shared;
  std::string b64 = PkiText(L"full.b64");
  shared.cert.assign(b64.begin(), b64.end());
  shared.bareCert = PkiCert(L"full");
  std::vector<Worker> workers;
  for (int i = 0; i < kWorkers; ++i) workers.push_back({&shared, i, sign});
  std::vector<HANDLE> threads;
  for (Worker& w : workers) threads.push_back(CreateThread(nullptr, 0, WorkerThread, &w, 0, nullptr));
  for (int i = 0; sign && i < kWorkers; ++i) threads.push_back(CreateThread(nullptr, 0, BareSigner, &shared, 0, nullptr));
  HANDLE switcher = switchLevels ? CreateThread(nullptr, 0, LevelSwitcher, &shared, 0, nullptr) : nullptr;
  DWORD waited = WaitForMultipleObjects(static_cast<DWORD>(threads.size()), threads.data(), TRUE, 10 * 60 * 1000);
  shared.stop = true;
  if (switcher) {
    if (WaitForSingleObject(switcher, 60 * 1000) != WAIT_OBJECT_0) ++shared.failures;
    CloseHandle(switcher);
    std::printf("%ld level switches\n", shared.levelSwitches.load());
  }
  for (HANDLE t : threads) CloseHandle(t);
  CertFreeCertificateContext(shared.bareCert);
  if (sign)
    std::printf("bare platform signing beside the load: %d of %d failed\n", shared.bareSigningFailures.load(),
                kWorkers * kRounds);
  if (waited != WAIT_OBJECT_0) {
    std::printf("workers did not finish: deadlock or hang\n");
    return 1000;
  }
  return shared.failures;
}

bool IsChild() {
  wchar_t flag[4] = {};
  return GetEnvironmentVariableW(L"TESSARN_CONCURRENCY_CHILD", flag, 4) > 0;
}

// The second process: the same load without the level switcher.
TEST(Concurrency, ChildProcessLoad) {
  if (!IsChild()) GTEST_SKIP() << "started by ControlsInApartmentsAndTwoProcesses";
  ComScope com;
  EXPECT_EQ(0, RunLoad(false, false));
}

TEST(Concurrency, ControlsInApartmentsAndTwoProcesses) {
  if (IsChild()) GTEST_SKIP();
  ComScope com;
  ASSERT_TRUE(robustness::PointLogDirAtFreshFolder());
  ASSERT_TRUE(AddCertificate(L"Root", L"root"));
  ASSERT_TRUE(AddCertificate(L"CA", L"ca"));
  ASSERT_TRUE(ImportWithKey(L"full"));

  // Raise the level before the load starts, so that the temporary log
  // has entries from the first call on.
  ComPtr<IDispatch> first = CreateControl();
  ASSERT_TRUE(first);
  ASSERT_EQ(0, CodeOf(first.Get(), dispid::kSetLogging, {Bstr(L"TRACE")}));

  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring command = L"\"" + std::wstring(self) + L"\" --gtest_filter=Concurrency.ChildProcessLoad";
  SetEnvironmentVariableW(L"TESSARN_CONCURRENCY_CHILD", L"1");
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION child = {};
  ASSERT_TRUE(CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &child));
  SetEnvironmentVariableW(L"TESSARN_CONCURRENCY_CHILD", nullptr);

  EXPECT_EQ(0, RunLoad(true, true));
  // Alone again, signing works.
  EXPECT_EQ(0, CodeOf(first.Get(), dispid::kSignPKCS7, {Bstr(std::wstring(PkiWide(L"full.b64")).c_str()), Bstr(L"YWJj"), Bstr(L"SHA1")}));

  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(child.hProcess, 10 * 60 * 1000)) << "the second process hangs";
  DWORD childExit = 1;
  GetExitCodeProcess(child.hProcess, &childExit);
  EXPECT_EQ(0u, childExit) << "the second process failed";
  CloseHandle(child.hThread);
  CloseHandle(child.hProcess);

  // Every StringToBinary entry either process wrote, by marker.
  std::vector<DWORD> processes = {GetCurrentProcessId(), child.dwProcessId};
  std::vector<std::wstring> files = robustness::LogFiles();
  ASSERT_EQ(2u, files.size());
  for (const std::wstring& file : files) {
    robustness::LogFile log = robustness::ReadLog(file);
    robustness::LogCheck check = robustness::CheckLog(log);
    EXPECT_TRUE(check.whole) << robustness::Narrow(file) << ": " << check.problem;
    const bool directoryLog = !log.temp;
    std::map<std::string, int> seen;
    size_t torn = 0;
    const std::string prefix = "CTessarnCtrl::StringToBinary [P";
    for (const std::string& body : robustness::EntryBodies(log)) {
      if (body.compare(0, prefix.size(), prefix) != 0) continue;
      // The value is longer than an entry keeps of an argument: its first
      // kKeptChars characters, then the count left out.
      std::string marker = body.substr(prefix.size() - 1, kKeptChars);
      if (body != "CTessarnCtrl::StringToBinary [" + marker + "... [" + std::to_string(kValueChars - kKeptChars) +
                      " more characters]] [1]") {
        ++torn;
        continue;
      }
      ++seen[marker];
    }
    EXPECT_EQ(0u, torn) << robustness::Narrow(file) << ": torn StringToBinary entries";
    size_t missing = 0, doubled = 0;
    for (DWORD process : processes)
      for (int t = 0; t < kWorkers; ++t)
        for (int round = 0; round < kRounds; ++round) {
          auto at = seen.find(Narrow(Marker(process, t, round)).substr(0, kKeptChars));
          if (at == seen.end()) ++missing;
          else if (at->second > 1) ++doubled;
        }
    EXPECT_EQ(0u, doubled) << robustness::Narrow(file);
    // The shared directory log drops nothing; the unshared temporary log
    // drops an entry whenever two writers meet, and while the level is low.
    if (directoryLog) {
      EXPECT_EQ(0u, missing) << robustness::Narrow(file) << ": entries lost";
    }
    std::printf("%s: %zu entries, %zu of %zu marked entries present\n", robustness::Narrow(file).c_str(),
                check.entries, seen.size(), processes.size() * kWorkers * kRounds);
  }
}

}  // namespace

