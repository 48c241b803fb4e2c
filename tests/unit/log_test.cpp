// Both log sinks writing real files: names, headers, levels, midnight, long
// arguments and many threads at once.
#include "diag/log.h"

#include <gtest/gtest.h>

#include <atomic>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "diag/diag_codes.h"
#include "diag/log_clock.h"
#include "diag/log_limits.h"
#include "tests/support/files.h"
#include "tests/support/settings.h"

namespace {

void WriteTemp(CMyLogTemp& log, wchar_t letter, const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  log.Write(letter, format, args);
  va_end(args);
}

void WriteDir(CMyLog& log, wchar_t letter, const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  log.Write(letter, format, args);
  va_end(args);
}

std::string Narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }

// A fixed clock: 31 January 2024, 23:59:59.999, then, from the second read
// on, 1 February 2024 00:00:00.000.
std::atomic<int> g_reads{0};
void MidnightClock(SYSTEMTIME* t) {
  *t = SYSTEMTIME{2024, 1, 3, 31, 23, 59, 59, 999};
  if (g_reads.fetch_add(1) > 0) *t = SYSTEMTIME{2024, 2, 4, 1, 0, 0, 0, 0};
}
void FixedClock(SYSTEMTIME* t) { *t = SYSTEMTIME{2024, 1, 3, 31, 14, 3, 7, 123}; }

class ClockScope {
 public:
  explicit ClockScope(diag::LocalTimeSource s) { g_reads = 0; diag::SetLocalTimeSourceForTesting(s); }
  ~ClockScope() { diag::SetLocalTimeSourceForTesting(nullptr); }
};

TEST(TempLogLevels, ParseAndSet) {
  CMyLogTemp log;
  EXPECT_EQ(0, log.Level());
  EXPECT_STREQ(L"NONE", log.LevelName().Get());
  EXPECT_EQ(diag::kOk, log.SetLevel(L"info"));
  EXPECT_STREQ(L"INFO", log.LevelName().Get());
  EXPECT_EQ(4, log.Level());
  for (const wchar_t* bad : {L"verbose", L"", static_cast<const wchar_t*>(nullptr), L"INFO ", L"TRACEX"}) {
    EXPECT_EQ(diag::kNotALevel, log.SetLevel(bad));
    EXPECT_STREQ(L"INFO", log.LevelName().Get());
    EXPECT_EQ(4, log.Level());
  }
}

TEST(TempLogLevels, WhichLettersEachLevelLetsThrough) {
  // Rows: level; columns: letters E W I D T; 1 = written.
  struct Row {
    const wchar_t* level;
    int written[5];
  } rows[] = {
      {L"NONE", {0, 0, 0, 0, 0}},    {L"FATAL", {0, 0, 0, 0, 0}}, {L"ERROR", {1, 0, 0, 0, 0}},
      {L"WARNING", {1, 1, 0, 0, 0}}, {L"INFO", {1, 1, 1, 0, 0}},  {L"DEBUG", {1, 1, 1, 1, 0}},
      {L"TRACE", {1, 1, 1, 1, 1}},
  };
  const wchar_t letters[] = L"EWIDT";
  CMyLogTemp log;
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << row.level);
    ASSERT_EQ(diag::kOk, log.SetLevel(row.level));
    for (int i = 0; i < 5; ++i)
      EXPECT_EQ(row.written[i] ? diag::kOk : diag::kNotALevel, log.IsEnabled(letters[i]))
          << Narrow(row.level) << " " << static_cast<char>(letters[i]);
    EXPECT_EQ(diag::kNotALevel, log.IsEnabled(L'X'));
    EXPECT_EQ(diag::kNotALevel, log.IsEnabled(L'\0'));
  }
}

// Writes answers what Write would do: the level lets the letter through
// and there is a directory, and a message is written exactly then.
TEST(TempLogLevels, WritesAnswersWhatWriteDoes) {
  TempDir dir(L"tessarn-writes");
  CMyLogTemp log;
  log.SetLevel(L"TRACE");
  EXPECT_EQ(diag::kNoLogDirectory, log.SetDirectory(L"Z:\\no\\such\\parent\\dir"));
  EXPECT_FALSE(log.Writes(L'E')) << "no directory to write to";
  ASSERT_EQ(diag::kOk, log.SetDirectory(dir.Path().c_str()));
  CMyTCString name;
  log.GetFileName(name);
  const wchar_t* levels[] = {L"NONE", L"FATAL", L"ERROR", L"WARNING", L"INFO", L"DEBUG", L"TRACE"};
  for (const wchar_t* level : levels) {
    ASSERT_EQ(diag::kOk, log.SetLevel(level));
    for (wchar_t letter : std::wstring(L"EWIDTX")) {
      SCOPED_TRACE(testing::Message() << Narrow(level) << " " << static_cast<char>(letter));
      EXPECT_EQ(log.IsEnabled(letter) == diag::kOk, log.Writes(letter));
      size_t before = ReadBytes(name.Get()).size();
      WriteTemp(log, letter, L"m");
      EXPECT_EQ(log.Writes(letter), ReadBytes(name.Get()).size() > before);
    }
  }
}

TEST(TempLog, FileNameHeaderAndLineBreaks) {
  TempDir dir(L"tessarn-temp-log");
  ClockScope clock(FixedClock);
  CMyLogTemp log;
  ASSERT_EQ(diag::kOk, log.SetDirectory((dir.Path() + L"\\").c_str()));
  EXPECT_EQ(dir.Path(), log.Directory().Get()) << "trailing backslash removed";
  CMyTCString name;
  log.GetFileName(name);
  EXPECT_EQ(dir.Path() + L"\\tessarn.20240131.log", name.Get());
  log.SetLevel(L"TRACE");
  WriteTemp(log, L'I', L"CTessarnCtrl::SetLogging [%s]", L"DEBUG");
  WriteTemp(log, L'T', L"closing (retCode=%d)\r\n", 0);
  char expected[128];
  snprintf(expected, sizeof(expected),
           "\r\n14:03:07,123 (Tid:%lx,T:I):CTessarnCtrl::SetLogging [DEBUG]"
           "\r\n14:03:07,123 (Tid:%lx,T:T):closing (retCode=0)\r\r\n",
           GetCurrentThreadId(), GetCurrentThreadId());
  EXPECT_EQ(expected, ReadBytes(name.Get()));
}

TEST(TempLog, EntryJustBeforeMidnightLandsInTheNewDaysFile) {
  TempDir dir(L"tessarn-midnight");
  CMyLogTemp log;
  ASSERT_EQ(diag::kOk, log.SetDirectory(dir.Path().c_str()));
  log.SetLevel(L"TRACE");
  ClockScope clock(MidnightClock);
  WriteTemp(log, L'E', L"late");
  bool found = false;
  std::string text = ReadBytes(dir.File(L"tessarn.20240201.log"), &found);
  ASSERT_TRUE(found);
  EXPECT_NE(std::string::npos, text.find("23:59:59,999 (Tid:")) << text;
  EXPECT_FALSE(ReadBytes(dir.File(L"tessarn.20240131.log"), &found).size() || found);
}

TEST(TempLog, NothingWithoutDirectoryAndANameStartingWithABackslash) {
  CMyLogTemp log;
  EXPECT_EQ(diag::kNullArgument, log.SetDirectory(nullptr));
  EXPECT_EQ(diag::kEmptyPath, log.SetDirectory(L""));
  EXPECT_EQ(diag::kNoLogDirectory, log.SetDirectory(L"Z:\\no\\such\\parent\\dir"));
  EXPECT_FALSE(log.Directory().IsPresent());
  ClockScope clock(FixedClock);
  CMyTCString name;
  log.GetFileName(name);
  EXPECT_STREQ(L"\\tessarn.20240131.log", name.Get());
}

// An argument is written up to its bound and then says how much was left
// out; one of exactly the bound is written whole.
TEST(TempLog, ArgumentsAreCutToTheirBoundWithAMarker) {
  TempDir dir(L"tessarn-long");
  CMyLogTemp log;
  ASSERT_EQ(diag::kOk, log.SetDirectory(dir.Path().c_str()));
  log.SetLevel(L"INFO");
  const size_t bound = diag::kMaxArgumentChars;
  std::wstring cert(100 * 1024, L'M');
  std::wstring exact(bound, L'X');
  WriteTemp(log, L'I', L"CTessarnCtrl::CertIsValid [%s] [%d]", cert.c_str(), 67);
  WriteTemp(log, L'I', L"CTessarnCtrl::CertIsValid [%s] [%d]", exact.c_str(), 68);
  std::vector<std::wstring> files = ListFiles(dir.Path());
  ASSERT_EQ(1u, files.size());
  std::string text = ReadBytes(dir.File(files[0]));
  EXPECT_NE(std::string::npos,
            text.find("[" + std::string(bound, 'M') + "... [" + std::to_string(100 * 1024 - bound) +
                      " more characters]] [67]"));
  EXPECT_EQ(std::string::npos, text.find(std::string(bound + 1, 'M')));
  EXPECT_NE(std::string::npos, text.find("[" + std::string(bound, 'X') + "] [68]"));
  EXPECT_LT(text.size(), 2 * bound + 200);
}

// A day's file near its limit: the entry that would pass it becomes the
// limit entry, and nothing more is written, by this sink or a new one.
TEST(TempLog, DayLimitEndsTheFileWithOneLine) {
  TempDir dir(L"tessarn-day");
  ClockScope clock(FixedClock);
  std::wstring file = dir.File(L"tessarn.20240131.log");
  {
    HANDLE h = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(diag::kMaxDayFileBytes - diag::kDayLimitRoom - 300);
    ASSERT_TRUE(SetFilePointerEx(h, end, nullptr, FILE_BEGIN));
    ASSERT_TRUE(SetEndOfFile(h));
    CloseHandle(h);
  }
  CMyLogTemp log;
  ASSERT_EQ(diag::kOk, log.SetDirectory(dir.Path().c_str()));
  log.SetLevel(L"TRACE");
  WriteTemp(log, L'I', L"short [%d]", 1);
  std::wstring big(1000, L'a');
  WriteTemp(log, L'T', L"long [%s]", big.c_str());
  WriteTemp(log, L'I', L"after [%d]", 2);
  CMyLogTemp another;
  ASSERT_EQ(diag::kOk, another.SetDirectory(dir.Path().c_str()));
  another.SetLevel(L"TRACE");
  WriteTemp(another, L'I', L"x");
  std::string text = ReadBytes(file);
  std::string tail = text.substr(static_cast<size_t>(diag::kMaxDayFileBytes - diag::kDayLimitRoom - 300));
  std::string limitText = Narrow(diag::kDayLimitText);
  ASSERT_NE(std::string::npos, tail.find("short [1]"));
  EXPECT_EQ(std::string::npos, tail.find("long ["));
  EXPECT_EQ(std::string::npos, tail.find("after ["));
  EXPECT_NE(std::string::npos, tail.find("(Tid:"));
  EXPECT_EQ(tail.size() - limitText.size(), tail.find(limitText)) << "the file ends with the limit line: " << tail;
  EXPECT_NE(std::string::npos, tail.find(",T:W):" + limitText));
  EXPECT_LE(text.size(), diag::kMaxDayFileBytes);
}

TEST(TempLog, FileHeldOpenByAnotherWriterDropsTheEntry) {
  TempDir dir(L"tessarn-locked");
  ClockScope clock(FixedClock);
  CMyLogTemp log;
  ASSERT_EQ(diag::kOk, log.SetDirectory(dir.Path().c_str()));
  log.SetLevel(L"TRACE");
  WriteTemp(log, L'I', L"first");
  std::wstring file = dir.File(L"tessarn.20240131.log");
  HANDLE other = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                             nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, other);
  WriteTemp(log, L'I', L"dropped");
  CloseHandle(other);
  WriteTemp(log, L'I', L"third");
  std::string text = ReadBytes(file);
  EXPECT_NE(std::string::npos, text.find("first"));
  EXPECT_EQ(std::string::npos, text.find("dropped"));
  EXPECT_NE(std::string::npos, text.find("third"));
}

class DirLogTest : public ::testing::Test {
 protected:
  void SetSetting(const wchar_t* name, const std::wstring& value) { ASSERT_TRUE(WriteSetting(name, value)) << name; }
  void SetLogDir(const std::wstring& value) { SetSetting(L"LogDir", value); }
  // The settings as the module's load left them, for the tests that follow.
  void TearDown() override {
    SetLogDir(L"");
    SetSetting(L"LogLevel", L"TRACE");
  }
};

TEST_F(DirLogTest, WritesEveryLevelIntoTheDailyFile) {
  TempDir dir(L"tessarn-dir-log");
  SetLogDir(dir.Path());
  ClockScope clock(FixedClock);
  CMyLog log;
  EXPECT_EQ(dir.Path(), log.DirSetting().Text());
  for (wchar_t letter : std::wstring(L"EWIDT")) WriteDir(log, letter, L"msg %c", letter);
  std::string text = ReadBytes(dir.File(L"tessarn.240131.log"));
  char expected[256];
  unsigned long t = GetCurrentThreadId();
  snprintf(expected, sizeof(expected),
           "\r\n140307 %lx E:msg E\r\n140307 %lx W:msg W\r\n140307 %lx I:msg I\r\n140307 %lx D:msg D\r\n140307 %lx "
           "T:msg T",
           t, t, t, t, t);
  EXPECT_EQ(expected, text);
}

TEST_F(DirLogTest, EmptyOrMissingDirectoryWritesNothing) {
  SetLogDir(L"Z:\\tessarn\\does\\not\\exist");
  CMyLog missing;
  WriteDir(missing, L'E', L"nowhere");  // must simply not crash or create anything
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(L"Z:\\tessarn\\does\\not\\exist"));
  SetLogDir(L"");
  CMyLog empty;
  WriteDir(empty, L'E', L"nowhere");
}

TEST_F(DirLogTest, WritesEveryLevelExactlyWhileADirectoryIsNamed) {
  SetLogDir(L"");
  CMyLog off;
  EXPECT_FALSE(off.Writes());
  TempDir dir(L"tessarn-dir-writes");
  SetLogDir(dir.Path());
  CMyLog on;
  EXPECT_TRUE(on.Writes());
}

TEST_F(DirLogTest, LevelSettingIsUpperCased) {
  SetSetting(L"LogLevel", L"debug");
  CMyLog log;
  EXPECT_STREQ(L"DEBUG", log.LevelSetting().Text());
}

// Many threads log while another switches the level: no crash, and every
// entry in the file is whole.
TEST(LogConcurrency, LevelChangesWhileThreadsLog) {
  TempDir dir(L"tessarn-threads");
  CMyLogTemp log;
  ASSERT_EQ(diag::kOk, log.SetDirectory(dir.Path().c_str()));
  log.SetLevel(L"TRACE");
  std::atomic<bool> stop{false};
  std::thread switcher([&] {
    const wchar_t* names[] = {L"NONE", L"ERROR", L"TRACE", L"debug", L"Warning", L"INFO", L"FATAL"};
    for (int i = 0; !stop; ++i) {
      log.SetLevel(names[i % 7]);
      CMyTCString copy = log.LevelName();
      if (!copy.Get() || copy.Length() < 4) ADD_FAILURE() << "torn level name";
    }
  });
  std::vector<std::thread> writers;
  const int kThreads = 6, kEntries = 300;
  for (int t = 0; t < kThreads; ++t) {
    writers.emplace_back([&, t] {
      const wchar_t letters[] = L"EWIDT";
      for (int i = 0; i < kEntries; ++i)
        WriteTemp(log, letters[i % 5], L"thread %d entry %d %s", t, i, L"payload-payload-payload");
    });
  }
  for (auto& w : writers) w.join();
  stop = true;
  switcher.join();
  std::vector<std::wstring> files = ListFiles(dir.Path());
  ASSERT_EQ(1u, files.size());
  std::string text = ReadBytes(dir.File(files[0]));
  std::regex entry(R"(\r\n\d\d:\d\d:\d\d,\d\d\d \(Tid:[0-9a-f]+,T:[EWIDT]\):thread \d entry \d+ payload-payload-payload)");
  std::string rest = std::regex_replace(text, entry, "");
  EXPECT_EQ("", rest) << "torn or foreign content";
}

}  // namespace
