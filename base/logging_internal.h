#ifndef BASE_LOGGING_INTERNAL_H_
#define BASE_LOGGING_INTERNAL_H_

// The pieces of the logger: the pure rules (prefix, names, verbose patterns,
// file names) and the small platform edge they run on. Only the logger and
// its tests include this.

#include <stddef.h>
#include <stdint.h>

#include <string>

#include "base/logging.h"
#include "base/strings/string16.h"

namespace base {
namespace logging_internal {

// --- Pure rules ---

struct PrefixItems {
  bool process_id = false;
  bool thread_id = false;
  bool timestamp = true;
  bool tick_count = false;
};

struct LocalTime {
  int month = 0;  // 1-12
  int day = 0;
  int hour = 0;  // 0-23
  int minute = 0;
  int second = 0;
};

// What the prefix may show; only the items switched on are read.
struct PrefixFacts {
  uint32_t process_id = 0;
  uint32_t thread_id = 0;
  LocalTime time;
  uint32_t tick_count = 0;
};

// "INFO", ..., "VERBOSE<n>" for severity -n, "UNKNOWN" from 4 up.
std::string SeverityName(LogSeverity severity);

// The text after the last '\' or '/'; empty for null.
const char* FileBaseName(const char* file);

// "[items:SEVERITY:file.cc(12)] ".
std::string FormatPrefix(const PrefixItems& items,
                         const PrefixFacts& facts,
                         LogSeverity severity,
                         const char* file,
                         int line);

// min(level, FATAL); negative levels unchanged.
int ClampMinLogLevel(int level);

// File base name without its last extension and without a final "-inl".
std::string VlogModuleName(const std::string& file);

// '*' any run, '?' any one character, '/' and '\' match each other.
bool MatchVlogPattern(const std::string& text, const std::string& pattern);

// "debug.log" in the folder of |exe_path| (cut after its last separator).
string16 LogFileNameBeside(const string16& exe_path);

// "debug.log" in |directory|, adding a backslash unless it ends with one.
string16 LogFileNameIn(const string16& directory);

// --- Platform edge (logging_win.cc, logging_posix.cc) ---

// An open log file; null when none.
typedef void* LogFileHandle;

SystemErrorCode PlatformGetLastError();
void PlatformSetLastError(SystemErrorCode error);
uint32_t PlatformProcessId();
uint32_t PlatformThreadId();
LocalTime PlatformLocalTime();
uint32_t PlatformTickCount();
void PlatformOutputDebugString(const std::string& text);
void PlatformWriteStderr(const std::string& text);
// The main executable's full path; empty when it cannot be had whole.
string16 PlatformExecutablePath();
// False when the current directory cannot be had whole.
bool PlatformCurrentDirectory(string16* directory);
LogFileHandle PlatformOpenLogFile(const string16& name);
void PlatformCloseLogFile(LogFileHandle file);
void PlatformWriteLogFile(LogFileHandle file, const std::string& text);
void PlatformDeleteFile(const string16& name);
// The system's text for |code|; on failure false with the failure's code.
bool PlatformFormatError(SystemErrorCode code,
                         std::string* text,
                         SystemErrorCode* format_error);
// Ends the process with a breakpoint trap.
[[noreturn]] void PlatformBreakAndDie();

}  // namespace logging_internal
}  // namespace base

#endif  // BASE_LOGGING_INTERNAL_H_
