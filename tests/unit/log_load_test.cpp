// What happens when the log loads in a fresh process: the settings read,
// the configuration line, and a temporary directory that cannot be made.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "tests/support/files.h"
#include "tests/support/settings.h"

namespace {

std::wstring ProbePath() {
  wchar_t buf[1024] = {};
  GetEnvironmentVariableW(L"TESSARN_LOGPROBE", buf, 1024);
  return buf;
}

// Runs the probe and answers what it printed.
std::string RunProbe(const std::wstring& args, DWORD* exitCode) {
  SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
  HANDLE readEnd, writeEnd;
  CreatePipe(&readEnd, &writeEnd, &sa, 0);
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = writeEnd;
  si.hStdError = writeEnd;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION pi = {};
  std::wstring command = L"\"" + ProbePath() + L"\" " + args;
  std::string out;
  if (CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
    CloseHandle(writeEnd);
    char buf[4096];
    DWORD n;
    while (ReadFile(readEnd, buf, sizeof(buf), &n, nullptr) && n) out.append(buf, n);
    WaitForSingleObject(pi.hProcess, INFINITE);
    GetExitCodeProcess(pi.hProcess, exitCode);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
  } else {
    CloseHandle(writeEnd);
    *exitCode = 999;
  }
  CloseHandle(readEnd);
  return out;
}

void SetSetting(const wchar_t* name, const std::wstring& value) { ASSERT_TRUE(WriteSetting(name, value)) << name; }

class LogLoad : public ::testing::Test {
 protected:
  void TearDown() override {
    SetSetting(L"LogDir", L"");
    SetSetting(L"LogLevel", L"TRACE");
  }
};

TEST_F(LogLoad, ConfigurationLineIsTheFirstEntryOfTheDirectoryLog) {
  TempDir dir(L"tessarn-load");
  SetSetting(L"LogDir", dir.Path());
  SetSetting(L"LogLevel", L"warning");
  DWORD code = 0;
  RunProbe(L"write hello", &code);
  ASSERT_EQ(0u, code);
  std::vector<std::wstring> files = ListFiles(dir.Path());
  ASSERT_EQ(1u, files.size());
  EXPECT_EQ(0u, files[0].find(L"tessarn."));
  EXPECT_EQ(18u, files[0].size()) << "tessarn.yymmdd.log";
  std::string text = ReadBytes(dir.File(files[0]));
  std::string dirText(dir.Path().begin(), dir.Path().end());
  std::string config = " D:CMyLog configuration: level [WARNING], dir [" + dirText + "]";
  size_t first = text.find("\r\n");
  ASSERT_EQ(0u, first);
  size_t second = text.find("\r\n", 2);
  ASSERT_NE(std::string::npos, second);
  EXPECT_NE(std::string::npos, text.substr(0, second).find(config)) << text;
  EXPECT_NE(std::string::npos, text.find(" T:probe hello", second)) << "every level is written, whatever LogLevel says";
}

TEST_F(LogLoad, MissingLogDirectoryWritesNothing) {
  SetSetting(L"LogDir", L"Z:\\tessarn-missing-dir");
  DWORD code = 0;
  RunProbe(L"write hello", &code);
  EXPECT_EQ(0u, code);
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(L"Z:\\tessarn-missing-dir"));
}

TEST_F(LogLoad, TemporaryDirectoryThatCannotBeMade) {
  wchar_t savedTmp[1024] = {}, savedTemp[1024] = {};
  GetEnvironmentVariableW(L"TMP", savedTmp, 1024);
  GetEnvironmentVariableW(L"TEMP", savedTemp, 1024);
  SetEnvironmentVariableW(L"TMP", L"Z:\\tessarn-no-parent\\deeper\\temp");
  SetEnvironmentVariableW(L"TEMP", L"Z:\\tessarn-no-parent\\deeper\\temp");
  DWORD code = 0;
  std::string out = RunProbe(L"name", &code);
  SetEnvironmentVariableW(L"TMP", savedTmp);
  SetEnvironmentVariableW(L"TEMP", savedTemp);
  EXPECT_EQ(0u, code);
  EXPECT_EQ(0u, out.find("\\tessarn.")) << out;
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(L"Z:\\tessarn-no-parent"));
}

}  // namespace
