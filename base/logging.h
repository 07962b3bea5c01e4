#ifndef BASE_LOGGING_H_
#define BASE_LOGGING_H_

// Temporary local stand-in until the real logging lands; never landed.
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace logging_standin {
struct Sink {
  std::ostringstream stream;
  bool fatal;
  explicit Sink(bool f) : fatal(f) {}
  ~Sink() {
    fprintf(stderr, "%s\n", stream.str().c_str());
    if (fatal) abort();
  }
};
struct Voidify {
  void operator&(const std::ostream&) {}
};
}  // namespace logging_standin

#define LOG(sev) logging_standin::Sink(false).stream
#define CHECK(cond) \
  (cond) ? (void)0 : logging_standin::Voidify() & logging_standin::Sink(true).stream << "Check failed: " #cond " "
#define DCHECK(cond) CHECK(cond)
#define NOTREACHED() CHECK(false)

#endif  // BASE_LOGGING_H_
