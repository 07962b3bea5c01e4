#include "base/debug/stack_trace.h"

#if !defined(_WIN32)
#include <execinfo.h>
#endif

namespace base {
namespace debug {

#if !defined(_WIN32)
// The host build's capture; the Windows one is in stack_trace_win.cc.
StackTrace::StackTrace() {
  int count = backtrace(trace_, static_cast<int>(kMaxTraces));
  count_ = count > 0 ? static_cast<size_t>(count) : 0;
}
#endif

const void* const* StackTrace::Addresses(size_t* count) const {
  *count = count_;
  return trace_;
}

}  // namespace debug
}  // namespace base
