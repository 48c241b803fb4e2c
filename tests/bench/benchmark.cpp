// Measures what each method of the control costs, called through IDispatch
// as a page calls it, against a baseline that makes the bare platform calls
// doing the same job (no control, no log), in the same process and run.
//
//   benchmark [--smoke] [--mode default|logdir|ksp] [--rows PREFIX[,PREFIX...]]
//
// Mode ksp measures only RawSign with an RSA key of a key storage provider
// (the test PKI's ksprsa2048, linked by the caller's fixture) against the
// bare NCrypt work; it runs beside the key storage double of tests/ksp.
//
// Every answer is checked (its code, and how many values it carries), and
// every bare job once, before it is measured: a figure of a call that
// failed would be no figure. --smoke makes each call only a few times, as
// the suite's check that the program and what it calls still work; the
// figures it prints mean nothing. --rows measures only the rows whose names
// begin with one of the prefixes (the log modes' suffixes left aside), and
// leaves out the soak: a quick way to measure again what one change touches.
//
// Prints one line per measurement, fields separated by '|':
//   row|NAME|METHOD_MEDIAN_US|MIN|MAX|BASELINE_MEDIAN_US|MIN|MAX|ENTRIES_PER_CALL
//   soak|CALLS|HANDLES|PRIVATE_BYTES
//   soakeach|METHOD|BYTES_PER_1000_CALLS|HANDLES_PER_1000|BARE_BYTES_PER_1000|BARE_HANDLES_PER_1000
#include <windows.h>
#include <wincrypt.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "tests/bench/bare_jobs.h"
#include "tests/bench/bench_stores.h"
#include "tests/bench/process_counters.h"
#include "tests/certutil/pki.h"
#include "tests/com/test_support.h"
#include "engine/crypt.h"
#include "tests/host/pki_stores.h"
#include "tests/support/dispids.h"

using namespace testing_support;

namespace {

bool g_smoke = false;
// The prefixes of --rows; empty for every row.
std::vector<std::string> g_rows;

bool Wanted(const std::string& name) {
  if (g_rows.empty()) return true;
  for (const std::string& prefix : g_rows)
    if (name.compare(0, prefix.size(), prefix) == 0) return true;
  return false;
}

struct Stat {
  double median, min, max;
};

// The baseline of a row that has none (a platform part, or a call with the
// log off).
const Stat kNoBaseline = {0, 0, 0};

double Now() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) * 1e6 / static_cast<double>(frequency.QuadPart);
}

// Microseconds per call of each of `calls`: the median and spread of
// several samples, each the mean of `iterations` calls, after one warm-up
// call. The calls take turns sample by sample, so that a method and its
// baseline see the same load of the machine even when it drifts during a
// run.
std::vector<Stat> MeasureTogether(const std::vector<std::function<void()>>& calls, int iterations, int samples = 7) {
  if (g_smoke) samples = 1;
  if (g_smoke) iterations = 1;
  std::vector<std::vector<double>> per(calls.size());
  for (const auto& call : calls) call();
  for (int s = 0; s < samples; ++s) {
    for (size_t c = 0; c < calls.size(); ++c) {
      double start = Now();
      for (int i = 0; i < iterations; ++i) calls[c]();
      per[c].push_back((Now() - start) / iterations);
    }
  }
  std::vector<Stat> stats;
  for (auto& p : per) {
    std::sort(p.begin(), p.end());
    stats.push_back(Stat{p[p.size() / 2], p.front(), p.back()});
  }
  return stats;
}

Stat Measure(const std::function<void()>& call, int iterations, int samples = 7) {
  return MeasureTogether({call}, iterations, samples)[0];
}

std::wstring LogFile() {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  SYSTEMTIME t;
  GetLocalTime(&t);
  wchar_t name[64];
  swprintf(name, 64, L"tessarn.%04d%02d%02d.log", t.wYear, t.wMonth, t.wDay);
  return std::wstring(temp) + name;
}

std::wstring DirLogFile() {
  wchar_t dir[512] = {};
  DWORD size = sizeof(dir);
  RegGetValueW(HKEY_CURRENT_USER, L"SOFTWARE\\Zorv\\Tessarn", L"LogDir", RRF_RT_REG_SZ, nullptr, dir, &size);
  if (!dir[0]) return L"";
  SYSTEMTIME t;
  GetLocalTime(&t);
  wchar_t name[64];
  swprintf(name, 64, L"\\tessarn.%02d%02d%02d.log", t.wYear % 100, t.wMonth, t.wDay);
  return std::wstring(dir) + name;
}

// Entries in a log file: each begins with a line break and a time.
long CountEntries(const std::wstring& file) {
  if (file.empty()) return 0;
  HANDLE h = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE) return 0;
  long entries = 0;
  char buf[65536];
  DWORD n;
  char previous = 0;
  while (ReadFile(h, buf, sizeof(buf), &n, nullptr) && n) {
    for (DWORD i = 0; i < n; ++i) {
      if (previous == '\n' && buf[i] >= '0' && buf[i] <= '9') ++entries;
      previous = buf[i];
    }
  }
  CloseHandle(h);
  return entries;
}

void Report(const char* name, const Stat& method, const Stat& baseline, double entries) {
  printf("row|%s|%.1f|%.1f|%.1f|%.1f|%.1f|%.1f|%.1f\n", name, method.median, method.min, method.max, baseline.median,
         baseline.min, baseline.max, entries);
  fflush(stdout);
}


VARIANT ByteArray(const std::vector<BYTE>& bytes) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_ARRAY | VT_UI1;
  V_ARRAY(&v) = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
  memcpy(V_ARRAY(&v)->pvData, bytes.data(), bytes.size());
  return v;
}

std::wstring Widen(const std::string& s) { return std::wstring(s.begin(), s.end()); }
// Row names are ASCII.
std::string Narrow(const std::wstring& s) {
  std::string n;
  for (wchar_t c : s) n += static_cast<char>(c);
  return n;
}

// Ends the run when something the benchmark calls did not do its job.
void Expect(bool done, const char* what) {
  if (done) return;
  fprintf(stderr, "benchmark: %s failed\n", what);
  fflush(stderr);
  ExitProcess(3);
}

// The answer of a method called through IDispatch must carry code 0 and,
// when `values` is not negative, that many values after the code.
void CheckAnswer(DISPID id, HRESULT hr, const VARIANT& answer, long values) {
  // Read without copying the values: a copy of a megabyte answer would be
  // timed with the method.
  long code = -1, count = 0;
  if (V_VT(&answer) == VT_I4) {
    code = V_I4(&answer);
  } else if (V_VT(&answer) == (VT_ARRAY | VT_VARIANT)) {
    LONG lo = 0, hi = -1;
    SafeArrayGetLBound(V_ARRAY(&answer), 1, &lo);
    SafeArrayGetUBound(V_ARRAY(&answer), 1, &hi);
    count = hi - lo;
    VARIANT first;
    VariantInit(&first);
    if (hi >= lo && SUCCEEDED(SafeArrayGetElement(V_ARRAY(&answer), &lo, &first)) && V_VT(&first) == VT_I4)
      code = V_I4(&first);
    VariantClear(&first);
  }
  if (FAILED(hr) || code != 0 || (values >= 0 && count != values)) {
    fprintf(stderr, "benchmark: DISPID %ld answered %lx, code %ld, %ld values (expected %ld)\n", static_cast<long>(id),
            static_cast<unsigned long>(hr), code, count, values);
    fflush(stderr);
    ExitProcess(3);
  }
}

// A method called through IDispatch with arguments made for the call, and
// freed after it (see CheckAnswer).
void Invoke(IDispatch* control, DISPID id, std::vector<VARIANT> args, long values = -1) {
  ScopedVariant r;
  HRESULT hr = Call(control, id, std::move(args), r.Get());
  CheckAnswer(id, hr, *r.Get(), values);
}

// The same with arguments the caller keeps and frees itself: a page hands
// over a text it already holds, so making a megabyte's BSTR for every call
// would time the caller's work with the method's.
void InvokeKept(IDispatch* control, DISPID id, const std::vector<VARIANT>& args, long values = -1) {
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());
  DISPPARAMS params = {reversed.empty() ? nullptr : reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  ScopedExcepInfo info;
  UINT argError = 0;
  ScopedVariant r;
  HRESULT hr = control->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, r.Get(), &info, &argError);
  CheckAnswer(id, hr, *r.Get(), values);
}

// Open handles of this process. A smoke run only shows that the counting
// works: it probes the first values alone.
unsigned long CountHandles() { return bench::CountHandles(g_smoke ? (1u << 12) : (1u << 19)); }

// The personal store with `count` certificates, filled only when it holds
// another number.
void StoreOf(int count) {
  static int filled = -1;
  if (filled == count) return;
  filled = -1;
  Expect(FillPersonalStore(count), "filling the store");
  filled = count;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::wstring mode = L"default";
  for (int i = 1; i < argc; ++i) {
    if (wcscmp(argv[i], L"--smoke") == 0) g_smoke = true;
    if (wcscmp(argv[i], L"--mode") == 0 && i + 1 < argc) mode = argv[++i];
    if (wcscmp(argv[i], L"--rows") == 0 && i + 1 < argc) {
      std::string list = Narrow(argv[++i]);
      for (size_t start = 0; start <= list.size();) {
        size_t end = list.find(',', start);
        if (end == std::string::npos) end = list.size();
        if (end > start) g_rows.push_back(list.substr(start, end - start));
        start = end + 1;
      }
    }
  }
  ComScope com;
  Expect(SUCCEEDED(com.Result()), "COM initialisation");
  Expect(AddCertificate(L"Root", L"root") && AddCertificate(L"CA", L"ca"), "trusting the test root and CA");
  // Mode ksp measures with the store its fixture made.
  if (mode != L"ksp") StoreOf(10);
  ComPtr<IDispatch> control = CreateControl();
  if (!control) {
    fprintf(stderr, "benchmark: cannot create the control\n");
    return 2;
  }
  IDispatch* c = control.Get();
  std::string thumb = PkiText(L"full.sha1");
  std::wstring thumbW = Widen(thumb);
  std::wstring cert = Widen(PkiText(L"full.b64"));
  std::vector<BYTE> sha1(20, 0x11), sha256(32, 0x22);
  auto hexOf = [](const std::vector<BYTE>& b) {
    std::wstring h;
    for (BYTE x : b) {
      wchar_t two[3];
      swprintf(two, 3, L"%02x", x);
      h += two;
    }
    return h;
  };
  // A smoke run makes the "1 MB" calls with 64 KB.
  std::vector<BYTE> kilobyte(1024, 0x41), megabyte(g_smoke ? 64 * 1024 : 1024 * 1024);
  for (size_t i = 0; i < megabyte.size(); ++i) megabyte[i] = static_cast<BYTE>(i * 31);
  auto base64 = [](const std::vector<BYTE>& b) { return bare::Base64(b.data(), static_cast<DWORD>(b.size())); };
  std::wstring kilobyte64 = base64(kilobyte), megabyte64 = base64(megabyte);
  HCERTSTORE my = CertOpenSystemStoreW(0, L"MY");
  PCCERT_CONTEXT given = PkiCert(L"full");
  Expect(my && given, "the personal store and the signing certificate");

  // The log modes: the default (nothing written), the temporary-directory
  // log at TRACE, and (mode logdir, a process that loaded with "LogDir" set)
  // the directory log.
  struct LogMode {
    const char* suffix;
    const wchar_t* level;
  };
  const std::vector<LogMode> logModes = mode == L"logdir"
                                            ? std::vector<LogMode>{{" [LogDir]", L"NONE"}}
                                        : mode == L"ksp" ? std::vector<LogMode>{{"", L"NONE"}}
                                                         : std::vector<LogMode>{{"", L"NONE"}, {" [TRACE]", L"TRACE"}};

  for (const LogMode& lm : logModes) {
    Invoke(c, dispid::kSetLogging, {Bstr(lm.level)}, 1);
    std::wstring logFile = mode == L"logdir" ? DirLogFile() : LogFile();
    // Entries written per call, counted over a few calls.
    auto entriesPer = [&](const std::function<void()>& call) {
      if (std::wstring(lm.level) == L"NONE" && mode != L"logdir") return 0.0;
      long before = CountEntries(logFile);
      for (int i = 0; i < 3; ++i) call();
      return (CountEntries(logFile) - before) / 3.0;
    };
    // A method against its baseline; `platform` rows (a part of the
    // platform's work that the baseline leaves out) are measured in turn
    // with them.
    struct PlatformPart {
      std::string name;
      std::function<void()> call;
    };
    auto row = [&](const std::string& name, const std::function<void()>& method, const std::function<void()>& base,
                   int iterations, int samples = 7, const std::vector<PlatformPart>& platform = {}) {
      if (!Wanted(name)) return;
      std::vector<std::function<void()>> calls = {method, base};
      for (const PlatformPart& part : platform) calls.push_back(part.call);
      std::vector<Stat> stats = MeasureTogether(calls, iterations, samples);
      Report((name + lm.suffix).c_str(), stats[0], stats[1], entriesPer(method));
      for (size_t i = 0; i < platform.size(); ++i)
        Report(("platform: " + platform[i].name + lm.suffix).c_str(), stats[2 + i], kNoBaseline, 0);
    };

    // Every engine method starts the engine first (CCrypt::Init: a provider
    // context, a card resource-manager context and its readers) and answers
    // the start's code when it fails, so that start is platform work each
    // engine method's answer needs: it is part of their baselines.
    auto started = [](std::function<void()> job) -> std::function<void()> {
      return [job] {
        bare::EngineStart();
        job();
      };
    };

    // RawSign with a key of a key storage provider, alone in its mode.
    if (mode == L"ksp") {
      std::string kspThumb = PkiText(L"ksprsa2048.sha1");
      std::wstring kspThumbW = Widen(kspThumb), hash = hexOf(sha256);
      Expect(bare::KspRawSign(kspThumb, sha256), "the bare raw signature with a key storage provider's key");
      row("RawSign KSP RSA SHA256",
          [&] { Invoke(c, dispid::kRawSign, {Bstr(hash.c_str()), Bstr(L"50"), Bstr(kspThumbW.c_str()), Bstr(L"SHA256")}, 1); },
          started([&] { Expect(bare::KspRawSign(kspThumb, sha256), "the bare raw signature"); }), 5);
      continue;
    }

    // A call that does nothing but write its entries: with the log off it
    // is the dispatch alone, so the log rows give the cost of an entry.
    // Its baseline with the log on is the file work the log promises for
    // those entries (open, append in one write, close; the directory log
    // also takes its turn), made bare on a file beside the log's. The
    // platform rows break one entry's file work down.
    if (Wanted("LibGetInfo")) {
      auto libInfo = [&] { Invoke(c, dispid::kLibGetInfo, {I4(0)}, 2); };
      double entries = entriesPer(libInfo);
      if (logFile.empty() || entries == 0) {
        Report((std::string("LibGetInfo") + lm.suffix).c_str(), Measure(libInfo, 50), kNoBaseline, entries);
      } else {
        const bool shared = mode == L"logdir";
        const std::wstring bareFile = logFile + L".bare";
        const std::string entryBytes = "\r\n11:43:13,123 (Tid:1a4,T:I):CTessarnCtrl::LibGetInfo [0]";
        auto fileWork = [&](bare::EntrySteps steps) {
          return [&, steps] { bare::LogEntryFile(bareFile, shared, steps, entryBytes); };
        };
        const int perCall = static_cast<int>(entries + 0.5);
        const std::function<void()> oneEntry = fileWork(bare::EntrySteps::kWhole);
        auto bareEntries = [&] {
          for (int i = 0; i < perCall; ++i) oneEntry();
        };
        // The unit of that file work: one call into the kernel's objects,
        // which under Wine is one request to its server process.
        HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        std::vector<PlatformPart> parts = {
            {"one entry's file work", oneEntry},
            {"entry file opened and closed, no write", fileWork(bare::EntrySteps::kOpenClose)},
        };
        if (shared)
          parts.push_back({"entry file opened, turn taken and given back, closed",
                           fileWork(bare::EntrySteps::kOpenLockClose)});
        parts.push_back({"one kernel object call (ResetEvent)", [event] { ResetEvent(event); }});
        row("LibGetInfo", libInfo, bareEntries, 50, 7, parts);
        CloseHandle(event);
        DeleteFileW(bareFile.c_str());
      }
    }
    const struct {
      const char* name;
      const std::vector<BYTE>* hash;
      const wchar_t* alg;
      ALG_ID id;
    } signs[] = {{"RawSign SHA1", &sha1, L"SHA1", CALG_SHA1}, {"RawSign SHA256", &sha256, L"SHA256", CALG_SHA_256}};
    for (const auto& s : signs) {
      std::wstring hash = hexOf(*s.hash);
      Expect(bare::RawSign(thumb, s.id, *s.hash), "the bare raw signature");
      row(s.name, [&] { Invoke(c, dispid::kRawSign, {Bstr(hash.c_str()), Bstr(L"F12345"), Bstr(thumbW.c_str()), Bstr(s.alg)}, 1); },
          started([&] { Expect(bare::RawSign(thumb, s.id, *s.hash), "the bare raw signature"); }), 5);
    }
    Expect(bare::SignMessage(given, kilobyte64), "the bare signed message");
    row("SignPKCS7 1 KB", [&] { Invoke(c, dispid::kSignPKCS7, {Bstr(cert.c_str()), Bstr(kilobyte64.c_str()), Bstr(L"SHA256")}, 1); },
        started([&] { Expect(bare::SignMessage(given, kilobyte64), "the bare signed message"); }), 5);
    row("SignPKCS7 1 MB", [&] { Invoke(c, dispid::kSignPKCS7, {Bstr(cert.c_str()), Bstr(megabyte64.c_str()), Bstr(L"SHA256")}, 1); },
        started([&] { Expect(bare::SignMessage(given, megabyte64), "the bare signed message"); }), 2);
    Expect(bare::CertInfo(cert), "the bare certificate fields");
    row("CertGetInfo(cert, 0)", [&] { Invoke(c, dispid::kCertGetInfo, {Bstr(cert.c_str()), I4(0)}); },
        started([&] { Expect(bare::CertInfo(cert), "the bare certificate fields"); }), 20);
    // The judgements that build a chain. The engine's own start (CCrypt::Init
    // and Close, without the control) is measured in turn with them, beside
    // the bare start that their baselines hold.
    auto engineStart = [] {
      CCrypt crypt;
      if (crypt.Init() == 0) crypt.Close();
    };
    const std::vector<PlatformPart> start = {{"engine start (CCrypt::Init + Close)", engineStart}};
    Expect(bare::CertIsValid(cert), "the bare certificate judgement");
    row("CertIsValid(cert, 0x083)", [&] { Invoke(c, dispid::kCertIsValid, {Bstr(cert.c_str()), I4(0x083)}); },
        started([&] { Expect(bare::CertIsValid(cert), "the bare certificate judgement"); }), 10);
    Expect(bare::ChainOfText(cert), "the bare chain");
    row("CertChainIsValid", [&] { Invoke(c, dispid::kCertChainIsValid, {Bstr(cert.c_str())}); }, started([&] { Expect(bare::ChainOfText(cert), "the bare chain"); }), 10, 7,
        lm.suffix[0] ? std::vector<PlatformPart>{} : start);
    // The baselines make the answer's value too: the byte array or the
    // string, into which the platform decodes or encodes.
    ScopedBstr megabyteText(megabyte64.c_str(), static_cast<UINT>(megabyte64.size()));
    VARIANT text;  // borrowed: megabyteText frees it
    VariantInit(&text);
    V_VT(&text) = VT_BSTR;
    V_BSTR(&text) = megabyteText.Get();
    const DWORD megabyteChars = static_cast<DWORD>(megabyte64.size());
    Expect(bare::DecodeToByteArray(megabyte64.c_str(), megabyteChars, CRYPT_STRING_BASE64), "the bare decoding");
    row("StringToBinary 1 MB", [&] { InvokeKept(c, dispid::kStringToBinary, {text, I4(1)}, 1); },
        [&] { bare::DecodeToByteArray(megabyte64.c_str(), megabyteChars, CRYPT_STRING_BASE64); }, 3);
    VARIANT bytes = ByteArray(megabyte);
    VARIANT byRef;  // the array by reference, as a script variable passes it
    VariantInit(&byRef);
    V_VT(&byRef) = VT_ARRAY | VT_UI1 | VT_BYREF;
    V_ARRAYREF(&byRef) = &V_ARRAY(&bytes);
    const long megabyteLength = static_cast<long>(megabyte.size());
    const DWORD oneLine = CRYPT_STRING_BASE64 | CRYPT_STRING_NOCRLF;
    Expect(bare::EncodeToBstr(megabyte.data(), megabyteLength, oneLine), "the bare encoding");
    row("BinaryToString 1 MB", [&] { Invoke(c, dispid::kBinaryToString, {byRef, I4(megabyteLength), I4(oneLine)}, 1); },
        [&] { bare::EncodeToBstr(megabyte.data(), megabyteLength, oneLine); }, 3);
    VariantClear(&bytes);

    std::vector<int> sizes = g_smoke ? std::vector<int>{10} : std::vector<int>{10, 100, 1000};
    if (lm.suffix[0]) sizes = {g_smoke ? 10 : 100};  // the log rows on one store size
    for (int n : sizes) {
      std::string store = " (" + std::to_string(n) + ")";
      const char* const storeRows[] = {"CertEnum(0x183)", "CertEnum(0x083)", "CertLookup by thumbprint",
                                       "platform: one chain engine created and released"};
      if (std::none_of(std::begin(storeRows), std::end(storeRows),
                       [&](const char* r) { return Wanted(r + store); }))
        continue;  // filling a store of 1,000 takes a while
      StoreOf(n);
      // Every certificate of the store may sign, is valid and chains to the
      // trusted root; one thumbprint begins with the searched prefix.
      std::wstring prefix = thumbW.substr(0, 8);
      Expect(bare::Enumerate(false) == n && bare::Enumerate(true) == n, "the bare enumeration");
      Expect(bare::LookupByThumbprint(prefix) == 1, "the bare lookup");
      int iterations = n >= 1000 ? 1 : (n >= 100 ? 3 : 10);
      int samples = n >= 1000 ? 3 : 7;
      // The criteria are judged on extension texts that the bare
      // enumeration does not render: that part of the platform's work is
      // measured alone, in turn with the method.
      std::vector<PlatformPart> criteria, criteria083;
      if (!lm.suffix[0]) {
        criteria.push_back({"criteria extension texts" + store, bare::CriteriaTexts});
        criteria083.push_back({"criteria extension texts, beside 0x083" + store, bare::CriteriaTexts});
      }
      row("CertEnum(0x183)" + store, [&] { Invoke(c, dispid::kCertEnum, {I4(0x183)}, n); }, started([&] { Expect(bare::Enumerate(false) == n, "the bare enumeration"); }),
          iterations, 7, criteria);
      row("CertEnum(0x083)" + store, [&] { Invoke(c, dispid::kCertEnum, {I4(0x083)}, n); }, started([&] { Expect(bare::Enumerate(true) == n, "the bare enumeration"); }),
          iterations, samples, criteria083);
      if (!lm.suffix[0] && Wanted("platform: one chain engine created and released" + store)) {
        // A chain engine made and released, at this store size: what every
        // chain check cost before the module kept one engine for its life.
        Report(("platform: one chain engine created and released" + store).c_str(),
               Measure(bare::ChainEngine, n >= 1000 ? 1 : 5, samples), kNoBaseline, 0);
      }
      row("CertLookup by thumbprint" + store, [&] { Invoke(c, dispid::kCertLookup, {Bstr(L"MY"), I4(1), Bstr(prefix.c_str())}, 1); },
          started([&] { Expect(bare::LookupByThumbprint(prefix) == 1, "the bare lookup"); }), iterations);
    }
    StoreOf(10);
  }
  Invoke(c, dispid::kSetLogging, {Bstr(L"NONE")}, 1);

  if (mode == L"default" && g_rows.empty()) {
    // The soak: mixed calls on one control, the process sampled as it goes.
    std::wstring sha1Hex = hexOf(sha1);
    auto none = [] {};
    const struct {
      const char* name;
      std::function<void()> call;
      std::function<void()> bare;  // the bare platform calls of the same job
    } mix[] = {
        {"RawSign",
         [&] { Invoke(c, dispid::kRawSign, {Bstr(sha1Hex.c_str()), Bstr(L"F12345"), Bstr(thumbW.c_str()), Bstr(L"SHA1")}, 1); },
         [&] { bare::EngineStart(); Expect(bare::RawSign(thumb, CALG_SHA1, sha1), "the bare raw signature"); }},
        {"CertGetInfo", [&] { Invoke(c, dispid::kCertGetInfo, {Bstr(cert.c_str()), I4(0)}); },
         [&] { Expect(bare::CertInfo(cert), "the bare certificate fields"); }},
        {"CertEnum", [&] { Invoke(c, dispid::kCertEnum, {I4(0x183)}, 10); },
         [&] { bare::EngineStart(); Expect(bare::Enumerate(false) == 10, "the bare enumeration"); bare::CriteriaTexts(); }},
        {"StringToBinary", [&] { Invoke(c, dispid::kStringToBinary, {Bstr(kilobyte64.c_str()), I4(1)}, 1); }, none},
        {"LibGetInfo", [&] { Invoke(c, dispid::kLibGetInfo, {I4(0)}, 2); }, none},
        {"CertIsValid", [&] { Invoke(c, dispid::kCertIsValid, {Bstr(cert.c_str()), I4(0x183)}); },
         [&] { Expect(bare::CertInfo(cert), "the bare certificate fields"); }},
        {"GetLogging", [&] { Invoke(c, dispid::kGetLogging, {}); }, none},
        {"SignPKCS7", [&] { Invoke(c, dispid::kSignPKCS7, {Bstr(cert.c_str()), Bstr(kilobyte64.c_str()), Bstr(L"SHA1")}, 1); },
         [&] { bare::EngineStart(); Expect(bare::SignMessage(given, kilobyte64), "the bare signed message"); }},
    };
    auto privateBytes = bench::PrivateBytes;
    const int total = g_smoke ? 16 : 4000, sampleEvery = g_smoke ? 8 : 400;
    for (int i = 1; i <= total; ++i) {
      mix[i % 8].call();
      if (i % sampleEvery == 0) {
        printf("soak|%d|%lu|%llu\n", i, CountHandles(), privateBytes());
        fflush(stdout);
      }
    }
    // Where growth comes from: each call of the mix alone, and the bare
    // platform calls of its job, after a warm-up: what the process gains
    // per 1,000 calls (private bytes, handles).
    const int each = g_smoke ? 2 : 250, warmUp = g_smoke ? 1 : 25;
    auto growth = [&](const std::function<void()>& call, long long* bytes, long* handles) {
      for (int i = 0; i < warmUp; ++i) call();
      unsigned long long before = privateBytes();
      unsigned long handlesBefore = CountHandles();
      for (int i = 0; i < each; ++i) call();
      *bytes = (static_cast<long long>(privateBytes()) - static_cast<long long>(before)) * 1000 / each;
      *handles = (static_cast<long>(CountHandles()) - static_cast<long>(handlesBefore)) * 1000 / each;
    };
    for (const auto& m : mix) {
      long long bytes = 0, bareBytes = 0;
      long handles = 0, bareHandles = 0;
      growth(m.call, &bytes, &handles);
      growth(m.bare, &bareBytes, &bareHandles);
      printf("soakeach|%s|%lld|%ld|%lld|%ld\n", m.name, bytes, handles, bareBytes, bareHandles);
      fflush(stdout);
    }
  }
  CertFreeCertificateContext(given);
  CertCloseStore(my, 0);
  return 0;
}
