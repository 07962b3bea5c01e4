#ifndef BASE_TEST_SCOPED_LOG_CAPTURE_TESTSUPPORT_H_
#define BASE_TEST_SCOPED_LOG_CAPTURE_TESTSUPPORT_H_

#include <limits>
#include <string>

#include "base/logging.h"

namespace base {

// Keeps, while alive, every line logged at |min_severity| or above, in
// order; the previous handler is put back at the end. One at a time.
class ScopedLogCapture {
 public:
  explicit ScopedLogCapture(
      int min_severity = std::numeric_limits<int>::min())
      : previous_(GetLogMessageHandler()) {
    text_ = &text;
    min_severity_ = min_severity;
    SetLogMessageHandler(&Keep);
  }
  ~ScopedLogCapture() {
    SetLogMessageHandler(previous_);
    text_ = nullptr;
  }
  ScopedLogCapture(const ScopedLogCapture&) = delete;
  ScopedLogCapture& operator=(const ScopedLogCapture&) = delete;

  std::string text;

 private:
  static bool Keep(int severity, const char*, int, size_t,
                   const std::string& line) {
    if (text_ && severity >= min_severity_)
      *text_ += line;
    return true;
  }

  static inline std::string* text_ = nullptr;
  static inline int min_severity_ = 0;
  const LogMessageHandlerFunction previous_;
};

}  // namespace base

#endif  // BASE_TEST_SCOPED_LOG_CAPTURE_TESTSUPPORT_H_
