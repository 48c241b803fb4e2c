#pragma once
#include <windows.h>

#include <atomic>
#include <cstdarg>
#include <string>

#include "diag/instance_counter.h"
#include "diag/reg_item.h"
#include "diag/tc_string.h"

// Level letters, indexed by level number: NONE, FATAL, ERROR, WARNING, INFO,
// DEBUG, TRACE.
constexpr wchar_t kLogLevelLetters[] = L"NFEWIDT";
constexpr int kLogLevelCount = 7;

// The directory sink: every message, whatever its level, into a daily file
// in the directory the "LogDir" registry value names; nothing while it is
// empty.
class CMyLog {
 public:
  // The process-wide instance attaches itself to theLog once its settings
  // are read, so that its configuration line is its first entry.
  explicit CMyLog(bool processWide = false);
  ~CMyLog();
  CMyLog(const CMyLog&) = delete;
  CMyLog& operator=(const CMyLog&) = delete;

  void Write(wchar_t letter, const wchar_t* format, va_list args);
  // Whether Write would write: it writes every level while "LogDir" names a
  // directory, and nothing otherwise.
  bool Writes() const;
  const CMyRegItem& LevelSetting() const { return m_level; }
  const CMyRegItem& DirSetting() const { return m_dir; }

 private:
  CMyRegItem m_level;
  CMyRegItem m_dir;
  bool m_processWide;
};

// The temporary-directory sink: into a daily file in the user's temporary
// directory, the messages its level lets through. Its level starts at NONE.
class CMyLogTemp : public CInstanceCounter {
 public:
  explicit CMyLogTemp(bool processWide = false);
  ~CMyLogTemp() override;
  CMyLogTemp(const CMyLogTemp&) = delete;
  CMyLogTemp& operator=(const CMyLogTemp&) = delete;

  void Write(wchar_t letter, const wchar_t* format, va_list args);
  // Whether Write would write a message of this level letter: the level
  // lets it through and there is a directory to write to.
  bool Writes(wchar_t letter) const;
  int SetLevel(const wchar_t* name);
  // A copy of the current level's canonical (upper-case) name; absent before
  // the first level is set.
  CMyTCString LevelName() const;
  // The level in force on this thread: the process's, or while a scope is
  // open (see CMyLogLevelScope) the higher of the scope's and the
  // process's. SetLevel sets the scope's while one is open.
  int Level() const {
    int level = m_level.load(std::memory_order_acquire);
    const std::atomic<int>* scoped = s_scopedLevel;
    if (!scoped) return level;
    int own = scoped->load(std::memory_order_acquire);
    return own > level ? own : level;
  }
  void GetFileName(CMyTCString& name) const;
  int IsEnabled(wchar_t letter) const;
  int SetDirectory(const wchar_t* path);
  const CMyTCString& Directory() const { return m_directory; }

  static int ParseLevel(const wchar_t* name, int* level);
  static int GetTempDirectory(CMyTCString& path);

 private:
  // Level changes come from SetLogging on any thread while other threads
  // log. The canonical names are built once and never replaced; a change
  // only swaps the level number atomically, so a reader never sees a name
  // being replaced or freed.
  CMyTCString m_names[kLogLevelCount];
  std::atomic<int> m_level{-1};
  friend class CMyLogLevelScope;
  static thread_local std::atomic<int>* s_scopedLevel;
  CMyTCString m_directory;
  bool m_processWide;
};

// For the calls of one page: the temporary log's level is the one that
// page's origin set, kept in `level` (or the process's, set by callers that
// are no page, when that is higher), so that a page that asks for TRACE
// does not have the pages of other origins served by the same process
// logged at TRACE. Scopes nest (a call made while another
// waits in a dialog) and are restored in order.
class CMyLogLevelScope {
 public:
  explicit CMyLogLevelScope(std::atomic<int>* level) : m_previous(CMyLogTemp::s_scopedLevel) {
    CMyLogTemp::s_scopedLevel = level;
  }
  ~CMyLogLevelScope() { CMyLogTemp::s_scopedLevel = m_previous; }
  CMyLogLevelScope(const CMyLogLevelScope&) = delete;
  CMyLogLevelScope& operator=(const CMyLogLevelScope&) = delete;

 private:
  std::atomic<int>* m_previous;
};

// theLog: one call per level, each handing the message to both sinks.
class CMyLogCommon : public CInstanceCounter {
 public:
  CMyLogCommon() = default;
  ~CMyLogCommon() override = default;

  void Error(const wchar_t* format, ...);
  void Warning(const wchar_t* format, ...);
  void Info(const wchar_t* format, ...);
  void Debug(const wchar_t* format, ...);
  void Trace(const wchar_t* format, ...);

  void WriteV(wchar_t letter, const wchar_t* format, va_list args);

  // Whether a message of this level letter would be written by either sink
  // now (whether its file then opens aside). Work done only for what a log
  // line shows, and for no answer, is skipped when it would not.
  bool Writes(wchar_t letter) const;

  // The sinks register themselves while the module loads; until then (and
  // after they are gone) their messages reach no file.
  static void AttachDirSink(CMyLog* sink);
  static void AttachTempSink(CMyLogTemp* sink);

 private:
  static std::atomic<CMyLog*> s_dirSink;
  static std::atomic<CMyLogTemp*> s_tempSink;
};

extern CMyLog theDirLog;
extern CMyLogCommon theLog;
extern CMyLogTemp theTempLog;
