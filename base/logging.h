#ifndef BASE_LOGGING_H_
#define BASE_LOGGING_H_

#include <stddef.h>
#include <stdint.h>

#include <ostream>
#include <sstream>
#include <string>
#include <type_traits>

#include "base/strings/string16.h"

// One log statement builds one line in a string stream; the line is emitted
// when the statement ends. A statement whose severity is off evaluates none
// of its stream operands.
//
//   LOG(INFO) << "Copied " << count << " files";
//   PLOG(ERROR) << "CreateFileW failed";   // appends the last Windows error
//   VLOG(1) << "detail";                   // on with --v=1 or --vmodule=...
//   CHECK(ptr) << "no delegate";           // FATAL when false
//   CHECK_EQ(a, b);                        // FATAL with both values

namespace base {

typedef int LogSeverity;
constexpr LogSeverity LOG_VERBOSE = -1;  // verbose level n is severity -n
constexpr LogSeverity LOG_INFO = 0;
constexpr LogSeverity LOG_WARNING = 1;
constexpr LogSeverity LOG_ERROR = 2;
constexpr LogSeverity LOG_FATAL = 3;
constexpr LogSeverity LOG_NUM_SEVERITIES = 4;

// Destination bits.
enum LoggingDestination : uint32_t {
  LOG_NONE = 0,
  LOG_TO_FILE = 1 << 0,
  LOG_TO_SYSTEM_DEBUG_LOG = 1 << 1,
};

enum OldFileDeletionState : uint32_t {
  DELETE_OLD_LOG_FILE = 0,
  APPEND_TO_OLD_LOG_FILE = 1,
};

struct LoggingSettings {
  uint32_t logging_dest = LOG_TO_FILE;
  // NUL-terminated wide path; required when |logging_dest| has LOG_TO_FILE.
  const char16* log_file = nullptr;
  uint32_t delete_old = APPEND_TO_OLD_LOG_FILE;
};

// Applies |settings| (and the "v"/"vmodule" switches of the process command
// line). Returns false when the log file cannot be opened.
bool BaseInitLoggingImpl(const LoggingSettings& settings);

// Levels above FATAL are stored as FATAL; negative levels enable verbose
// logging up to their magnitude.
void SetMinLogLevel(int level);
int GetMinLogLevel();

void SetLogItems(bool enable_process_id,
                 bool enable_thread_id,
                 bool enable_timestamp,
                 bool enable_tickcount);

// Returning true consumes the message: it is written nowhere else. A FATAL
// message still ends the process.
typedef bool (*LogMessageHandlerFunction)(int severity,
                                          const char* file,
                                          int line,
                                          size_t message_start,
                                          const std::string& text);
void SetLogMessageHandler(LogMessageHandlerFunction handler);
LogMessageHandlerFunction GetLogMessageHandler();

bool ShouldCreateLogMessage(int severity);

// For a verbose statement that the verbose level of its file lets through
// (that level, not the minimum log level, decides): whether its line has
// anywhere to go.
bool ShouldCreateVerboseLogMessage();

// The verbose level in force for a source file. |n| is the size of the file
// name literal including its NUL.
int GetVlogLevelHelper(const char* file, size_t n);

template <size_t N>
int GetVlogLevel(const char (&file)[N]) {
  return GetVlogLevelHelper(file, N);
}

typedef uint32_t SystemErrorCode;
SystemErrorCode GetLastSystemErrorCode();
std::string SystemErrorCodeToString(SystemErrorCode error_code);

class LogMessage {
 public:
  LogMessage(const char* file, int line, LogSeverity severity);
  LogMessage(const LogMessage&) = delete;
  LogMessage& operator=(const LogMessage&) = delete;
  ~LogMessage();

  std::ostream& stream() { return stream_; }
  LogSeverity severity() const { return severity_; }

 private:
  void Init();

  LogSeverity severity_;
  std::ostringstream stream_;
  size_t message_start_;
  const char* file_;
  int line_;
  SystemErrorCode last_error_;
};

// Appends ": " and the text of |error| to the message.
class Win32ErrorLogMessage {
 public:
  Win32ErrorLogMessage(const char* file,
                       int line,
                       LogSeverity severity,
                       SystemErrorCode error);
  Win32ErrorLogMessage(const Win32ErrorLogMessage&) = delete;
  Win32ErrorLogMessage& operator=(const Win32ErrorLogMessage&) = delete;
  ~Win32ErrorLogMessage();

  std::ostream& stream() { return log_message_.stream(); }

 private:
  SystemErrorCode error_;
  LogMessage log_message_;
};

namespace logging_internal {

// Turns a stream expression into void so that it can stand in the second
// arm of a conditional. & binds weaker than << and stronger than ?:.
struct StreamSink {
  void operator&(std::ostream&) {}
};

// Values of CHECK_EQ and friends: streamed when the type can be, enums by
// their number.
template <typename T, typename = void>
struct IsStreamable : std::false_type {};
template <typename T>
struct IsStreamable<T,
                    decltype(void(std::declval<std::ostream&>()
                                  << std::declval<const T&>()))>
    : std::true_type {};

template <typename T>
void StreamValue(std::ostream& os, const T& value) {
  if constexpr (std::is_same<T, std::nullptr_t>::value) {
    os << "nullptr";
  } else if constexpr (std::is_enum<T>::value) {
    os << static_cast<typename std::underlying_type<T>::type>(value);
  } else if constexpr (IsStreamable<T>::value) {
    os << value;
  } else {
    os << "(value)";
  }
}

// Null when the check holds; otherwise owns the text of the failure.
class CheckOpResult {
 public:
  CheckOpResult() = default;
  explicit CheckOpResult(std::string* message) : message_(message) {}
  CheckOpResult(CheckOpResult&& other) : message_(other.message_) {
    other.message_ = nullptr;
  }
  ~CheckOpResult() { delete message_; }
  bool failed() const { return message_ != nullptr; }
  const std::string& message() const { return *message_; }

 private:
  std::string* message_ = nullptr;
};

template <typename A, typename B>
CheckOpResult MakeCheckOpResult(const A& a, const B& b, const char* expr) {
  std::ostringstream os;
  os << "Check failed: " << expr << " (";
  StreamValue(os, a);
  os << " vs. ";
  StreamValue(os, b);
  os << "). ";
  return CheckOpResult(new std::string(os.str()));
}

#define BASE_DEFINE_CHECK_OP(name, op)                                      \
  template <typename A, typename B>                                         \
  inline CheckOpResult Check##name(const A& a, const B& b, const char* e) { \
    if (a op b)                                                             \
      return CheckOpResult();                                               \
    return MakeCheckOpResult(a, b, e);                                      \
  }
BASE_DEFINE_CHECK_OP(EQ, ==)
BASE_DEFINE_CHECK_OP(NE, !=)
BASE_DEFINE_CHECK_OP(LT, <)
BASE_DEFINE_CHECK_OP(LE, <=)
BASE_DEFINE_CHECK_OP(GT, >)
BASE_DEFINE_CHECK_OP(GE, >=)
#undef BASE_DEFINE_CHECK_OP

}  // namespace logging_internal
}  // namespace base

// Wide text is streamed as UTF-8; a null pointer writes nothing. These live
// in std so that lookup finds them from every namespace (the argument types
// bring in no other).
namespace std {
std::ostream& operator<<(std::ostream& out, const char16_t* wide);
std::ostream& operator<<(std::ostream& out, const std::u16string& wide);
#if defined(_WIN32)
std::ostream& operator<<(std::ostream& out, const wchar_t* wide);
std::ostream& operator<<(std::ostream& out, const std::wstring& wide);
#endif
}  // namespace std

// Evaluates |stream| only when |condition| holds.
#define BASE_LOG_LAZY_STREAM(stream, condition) \
  !(condition) ? (void)0 : ::base::logging_internal::StreamSink() & (stream)

#define BASE_LOG_STREAM(severity) \
  ::base::LogMessage(__FILE__, __LINE__, severity).stream()

// Every use of a severity name is pasted at once: Windows headers define
// ERROR as a macro, which must not be expanded first.
#define LOG_IS_ON(severity) \
  (::base::ShouldCreateLogMessage(::base::LOG_##severity))

#define BASE_LOG_IF_ON(severity_value, condition)   \
  BASE_LOG_LAZY_STREAM(BASE_LOG_STREAM(severity_value),      \
                       ::base::ShouldCreateLogMessage(severity_value) && \
                           (condition))

#define LOG(severity) BASE_LOG_IF_ON(::base::LOG_##severity, true)

#define LOG_IF(severity, condition) \
  BASE_LOG_IF_ON(::base::LOG_##severity, condition)

#define VLOG_IS_ON(verbose_level) \
  ((verbose_level) <= ::base::GetVlogLevel(__FILE__))

// The one gate of verbose lines: the level of their file decides, not the
// minimum log level.
#define BASE_VLOG_IF_ON(verbose_level)        \
  (::base::ShouldCreateVerboseLogMessage() && \
   VLOG_IS_ON(verbose_level))

#define VLOG(verbose_level)                               \
  BASE_LOG_LAZY_STREAM(BASE_LOG_STREAM(-(verbose_level)), \
                       BASE_VLOG_IF_ON(verbose_level))

#define BASE_PLOG_IF_ON(severity_value)                                  \
  BASE_LOG_LAZY_STREAM(                                                 \
      ::base::Win32ErrorLogMessage(__FILE__, __LINE__, severity_value,  \
                                   ::base::GetLastSystemErrorCode())    \
          .stream(),                                                    \
      ::base::ShouldCreateLogMessage(severity_value))

#define PLOG(severity) BASE_PLOG_IF_ON(::base::LOG_##severity)

// VLOG with the last system error's code and text appended.
#define VPLOG(verbose_level)                                               \
  BASE_LOG_LAZY_STREAM(                                                   \
      ::base::Win32ErrorLogMessage(__FILE__, __LINE__, -(verbose_level),  \
                                   ::base::GetLastSystemErrorCode())      \
          .stream(),                                                      \
      BASE_VLOG_IF_ON(verbose_level))

#define CHECK(condition)                                                  \
  BASE_LOG_LAZY_STREAM(BASE_LOG_STREAM(::base::LOG_FATAL), !(condition)) \
      << "Check failed: " #condition ". "

// The for statement keeps the failure text alive for the statement and
// leaves no dangling else; a FATAL message never returns, so it never loops.
#define BASE_CHECK_OP(name, op, a, b)                                     \
  for (::base::logging_internal::CheckOpResult base_check_result =        \
           ::base::logging_internal::Check##name((a), (b),                \
                                                 #a " " #op " " #b);     \
       base_check_result.failed();)                                       \
  BASE_LOG_STREAM(::base::LOG_FATAL) << base_check_result.message()

#define CHECK_EQ(a, b) BASE_CHECK_OP(EQ, ==, a, b)
#define CHECK_NE(a, b) BASE_CHECK_OP(NE, !=, a, b)
#define CHECK_LT(a, b) BASE_CHECK_OP(LT, <, a, b)
#define CHECK_LE(a, b) BASE_CHECK_OP(LE, <=, a, b)
#define CHECK_GT(a, b) BASE_CHECK_OP(GT, >, a, b)
#define CHECK_GE(a, b) BASE_CHECK_OP(GE, >=, a, b)

// DCHECK_ALWAYS_ON turns them on in a release build (the sanitizer build).
#if !defined(NDEBUG) || defined(DCHECK_ALWAYS_ON)
#define DCHECK_IS_ON() 1
#else
#define DCHECK_IS_ON() 0
#endif

#if DCHECK_IS_ON()
#define DCHECK(condition) CHECK(condition)
#define DCHECK_EQ(a, b) CHECK_EQ(a, b)
#define DCHECK_NE(a, b) CHECK_NE(a, b)
#define DCHECK_LT(a, b) CHECK_LT(a, b)
#define DCHECK_LE(a, b) CHECK_LE(a, b)
#define DCHECK_GT(a, b) CHECK_GT(a, b)
#define DCHECK_GE(a, b) CHECK_GE(a, b)
#else
// Compiled, so that their operands stay valid code, but never evaluated.
#define DCHECK(condition) \
  while (false) CHECK(condition)
#define DCHECK_EQ(a, b) while (false) CHECK_EQ(a, b)
#define DCHECK_NE(a, b) while (false) CHECK_NE(a, b)
#define DCHECK_LT(a, b) while (false) CHECK_LT(a, b)
#define DCHECK_LE(a, b) while (false) CHECK_LE(a, b)
#define DCHECK_GT(a, b) while (false) CHECK_GT(a, b)
#define DCHECK_GE(a, b) while (false) CHECK_GE(a, b)
#endif

#define NOTREACHED() DCHECK(false)

#endif  // BASE_LOGGING_H_
