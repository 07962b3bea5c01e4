#include "base/logging.h"

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <mutex>

#include "base/command_line.h"
#include "base/debug/alias.h"
#include "base/logging_internal.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"
#include "base/vlog.h"

namespace base {

namespace li = logging_internal;

namespace {

const char* const kSeverityNames[LOG_NUM_SEVERITIES] = {"INFO", "WARNING",
                                                        "ERROR", "FATAL"};

// Process-wide settings: set early on the main thread, read everywhere.
uint32_t g_logging_destination = LOG_TO_FILE;
int g_min_log_level = LOG_INFO;
li::PrefixItems g_prefix_items;
LogMessageHandlerFunction g_log_message_handler = nullptr;
// Created at most once, by initialisation, and never freed: other threads
// may be reading it.
VlogInfo* g_vlog_info = nullptr;

// The log file is opened lazily by whichever thread writes first, so its
// name and handle are guarded. The name lives until the process ends.
std::mutex& LogFileLock() {
  static std::mutex* lock = new std::mutex;
  return *lock;
}
string16* g_log_file_name = nullptr;
li::LogFileHandle g_log_file = nullptr;

// Call with LogFileLock() held.
bool OpenLogFileLocked() {
  if (g_log_file)
    return true;
  if (!g_log_file_name) {
    g_log_file_name =
        new string16(li::LogFileNameBeside(li::PlatformExecutablePath()));
  }
  if (!(g_logging_destination & LOG_TO_FILE))
    return true;
  g_log_file = li::PlatformOpenLogFile(*g_log_file_name);
  if (g_log_file)
    return true;
  string16 directory;
  if (!li::PlatformCurrentDirectory(&directory))
    return false;
  *g_log_file_name = li::LogFileNameIn(directory);
  g_log_file = li::PlatformOpenLogFile(*g_log_file_name);
  return g_log_file != nullptr;
}

void CloseLogFileLocked() {
  if (!g_log_file)
    return;
  li::PlatformCloseLogFile(g_log_file);
  g_log_file = nullptr;
}

void WriteToLogFile(const std::string& text) {
  std::lock_guard<std::mutex> hold(LogFileLock());
  if (OpenLogFileLocked() && g_log_file)
    li::PlatformWriteLogFile(g_log_file, text);
}

[[noreturn]] void DieWithMessage(const std::string& text) {
  char message[1024] = {};
  size_t size = std::min(text.size(), sizeof(message));
  memcpy(message, text.data(), size);
  // Kept alive so that the text is in the crash dump.
  DebugAlias(message);
  li::PlatformBreakAndDie();
}

}  // namespace

namespace logging_internal {

std::string SeverityName(LogSeverity severity) {
  if (severity < 0)
    return "VERBOSE" + std::to_string(-static_cast<int64_t>(severity));
  if (severity < LOG_NUM_SEVERITIES)
    return kSeverityNames[severity];
  return "UNKNOWN";
}

const char* FileBaseName(const char* file) {
  if (!file)
    return "";
  const char* base_name = file;
  for (const char* p = file; *p; ++p) {
    if (*p == '\\' || *p == '/')
      base_name = p + 1;
  }
  return base_name;
}

std::string FormatPrefix(const PrefixItems& items,
                         const PrefixFacts& facts,
                         LogSeverity severity,
                         const char* file,
                         int line) {
  std::string prefix = "[";
  char buffer[32];
  if (items.process_id)
    prefix += std::to_string(facts.process_id) + ":";
  if (items.thread_id)
    prefix += std::to_string(facts.thread_id) + ":";
  if (items.timestamp) {
    const LocalTime& t = facts.time;
    snprintf(buffer, sizeof(buffer), "%02d%02d/%02d%02d%02d:", t.month, t.day,
             t.hour, t.minute, t.second);
    prefix += buffer;
  }
  if (items.tick_count)
    prefix += std::to_string(facts.tick_count) + ":";
  prefix += SeverityName(severity);
  prefix += ":";
  prefix += FileBaseName(file);
  prefix += "(" + std::to_string(line) + ")] ";
  return prefix;
}

int ClampMinLogLevel(int level) {
  return std::min(level, LOG_FATAL);
}

std::string VlogModuleName(const std::string& file) {
  std::string module = FileBaseName(file.c_str());
  size_t dot = module.rfind('.');
  if (dot != std::string::npos)
    module.resize(dot);
  static const char kInlSuffix[] = "-inl";
  const size_t suffix_size = sizeof(kInlSuffix) - 1;
  if (module.size() >= suffix_size &&
      module.compare(module.size() - suffix_size, suffix_size, kInlSuffix) ==
          0) {
    module.resize(module.size() - suffix_size);
  }
  return module;
}

namespace {

bool IsSeparator(char c) {
  return c == '/' || c == '\\';
}

bool SameCharacter(char pattern, char text) {
  return IsSeparator(pattern) ? IsSeparator(text)
                              : (pattern == '?' || pattern == text);
}

}  // namespace

// A '*' matches any run of characters. Only the last '*' seen is ever taken
// back (to let it cover one character more): an earlier one could not match
// anything the last one cannot, so the time stays within the product of the
// two lengths however many '*' the pattern holds.
bool MatchVlogPattern(const std::string& text, const std::string& pattern) {
  size_t t = 0;
  size_t p = 0;
  size_t star = std::string::npos;
  size_t star_text = 0;
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      star_text = t;
    } else if (p < pattern.size() && SameCharacter(pattern[p], text[t])) {
      ++p;
      ++t;
    } else if (star != std::string::npos) {
      p = star + 1;
      t = ++star_text;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*')
    ++p;
  return p == pattern.size();
}

namespace {

const char16 kLogFileName[] = u"debug.log";

}  // namespace

string16 LogFileNameBeside(const string16& exe_path) {
  size_t separator = exe_path.find_last_of(u"\\/");
  string16 name = separator == string16::npos
                      ? string16()
                      : exe_path.substr(0, separator + 1);
  return name + kLogFileName;
}

string16 LogFileNameIn(const string16& directory) {
  string16 name = directory;
  if (name.empty() || name.back() != u'\\')
    name += u'\\';
  return name + kLogFileName;
}

}  // namespace logging_internal

bool BaseInitLoggingImpl(const LoggingSettings& settings) {
  const CommandLine* command_line = CommandLine::ForCurrentProcess();
  if (command_line &&
      (command_line->HasSwitch("v") || command_line->HasSwitch("vmodule"))) {
    // Replacing the settings would free them under threads that read them.
    CHECK(!g_vlog_info) << "Verbose logging can be set up only once.";
    g_vlog_info = new VlogInfo(command_line->GetSwitchValueASCII("v"),
                               command_line->GetSwitchValueASCII("vmodule"),
                               &g_min_log_level);
  }
  g_logging_destination = settings.logging_dest;
  if (!(g_logging_destination & LOG_TO_FILE))
    return true;
  std::lock_guard<std::mutex> hold(LogFileLock());
  CloseLogFileLocked();
  // A missing name gets the default one rather than an empty path.
  string16 name = settings.log_file
                      ? string16(settings.log_file)
                      : li::LogFileNameBeside(li::PlatformExecutablePath());
  if (!g_log_file_name)
    g_log_file_name = new string16;
  *g_log_file_name = name;
  if (settings.delete_old == DELETE_OLD_LOG_FILE)
    li::PlatformDeleteFile(*g_log_file_name);
  return OpenLogFileLocked();
}

void SetMinLogLevel(int level) {
  g_min_log_level = li::ClampMinLogLevel(level);
}

int GetMinLogLevel() {
  return g_min_log_level;
}

void SetLogItems(bool enable_process_id,
                 bool enable_thread_id,
                 bool enable_timestamp,
                 bool enable_tickcount) {
  g_prefix_items.process_id = enable_process_id;
  g_prefix_items.thread_id = enable_thread_id;
  g_prefix_items.timestamp = enable_timestamp;
  g_prefix_items.tick_count = enable_tickcount;
}

void SetLogMessageHandler(LogMessageHandlerFunction handler) {
  g_log_message_handler = handler;
}

LogMessageHandlerFunction GetLogMessageHandler() {
  return g_log_message_handler;
}

bool ShouldCreateLogMessage(int severity) {
  if (severity < g_min_log_level)
    return false;
  return ShouldCreateVerboseLogMessage() || severity >= LOG_ERROR;
}

bool ShouldCreateVerboseLogMessage() {
  return g_logging_destination != LOG_NONE || g_log_message_handler;
}

int GetVlogLevelHelper(const char* file, size_t n) {
  if (!g_vlog_info)
    return std::max(-1, -g_min_log_level);
  return g_vlog_info->GetVlogLevel(StringPiece(file, n > 0 ? n - 1 : 0));
}

SystemErrorCode GetLastSystemErrorCode() {
  return li::PlatformGetLastError();
}

std::string SystemErrorCodeToString(SystemErrorCode error_code) {
  std::string text;
  SystemErrorCode format_error = 0;
  char suffix[64];
  if (!li::PlatformFormatError(error_code, &text, &format_error)) {
    snprintf(suffix, sizeof(suffix),
             "Error (0x%X) while retrieving error. (0x%X)", format_error,
             error_code);
    return suffix;
  }
  snprintf(suffix, sizeof(suffix), " (0x%X)", error_code);
  return CollapseWhitespaceASCII(text) + suffix;
}

LogMessage::LogMessage(const char* file, int line, LogSeverity severity)
    : severity_(severity),
      message_start_(0),
      file_(file),
      line_(line),
      last_error_(li::PlatformGetLastError()) {
  Init();
}

void LogMessage::Init() {
  li::PrefixFacts facts;
  if (g_prefix_items.process_id)
    facts.process_id = li::PlatformProcessId();
  if (g_prefix_items.thread_id)
    facts.thread_id = li::PlatformThreadId();
  if (g_prefix_items.timestamp)
    facts.time = li::PlatformLocalTime();
  if (g_prefix_items.tick_count)
    facts.tick_count = li::PlatformTickCount();
  stream_ << li::FormatPrefix(g_prefix_items, facts, severity_, file_, line_);
  message_start_ = static_cast<size_t>(stream_.tellp());
}

LogMessage::~LogMessage() {
  stream_ << "\n";
  std::string text = stream_.str();
  bool consumed = g_log_message_handler &&
                  g_log_message_handler(severity_, file_, line_,
                                        message_start_, text);
  if (!consumed) {
    if (g_logging_destination & LOG_TO_SYSTEM_DEBUG_LOG)
      li::PlatformOutputDebugString(text);
    if ((g_logging_destination & LOG_TO_SYSTEM_DEBUG_LOG) ||
        severity_ >= LOG_ERROR) {
      li::PlatformWriteStderr(text);
    }
    if (g_logging_destination & LOG_TO_FILE)
      WriteToLogFile(text);
  }
  // A handler may keep a fatal line to itself, but never the process alive.
  if (severity_ == LOG_FATAL)
    DieWithMessage(text);
  li::PlatformSetLastError(last_error_);
}

Win32ErrorLogMessage::Win32ErrorLogMessage(const char* file,
                                           int line,
                                           LogSeverity severity,
                                           SystemErrorCode error)
    : error_(error), log_message_(file, line, severity) {}

Win32ErrorLogMessage::~Win32ErrorLogMessage() {
  stream() << ": " << SystemErrorCodeToString(error_);
}

}  // namespace base

namespace std {

std::ostream& operator<<(std::ostream& out, const char16_t* wide) {
  return wide ? out << base::UTF16ToUTF8(wide) : out;
}

std::ostream& operator<<(std::ostream& out, const std::u16string& wide) {
  return out << base::UTF16ToUTF8(wide);
}

#if defined(_WIN32)
std::ostream& operator<<(std::ostream& out, const wchar_t* wide) {
  return wide ? out << base::WideToUTF8(wide) : out;
}

std::ostream& operator<<(std::ostream& out, const std::wstring& wide) {
  return out << base::WideToUTF8(wide);
}
#endif

}  // namespace std
