#ifndef BASE_THREADING_PLATFORM_THREAD_H_
#define BASE_THREADING_PLATFORM_THREAD_H_

#include <stddef.h>
#include <stdint.h>

#include <string>

#include "base/time/time.h"

namespace base {

using PlatformThreadId = uint32_t;
// A thread HANDLE; null when there is none.
using PlatformThreadHandle = void*;

enum class ThreadPriority : int {
  LOW = 0,
  NORMAL = 1,
  ABOVE_NORMAL = 2,
  TIME_CRITICAL = 3,
};

// Creating, naming, joining and sleeping threads of the system.
class PlatformThread {
 public:
  // What a new thread runs. Not destroyed through this interface, so that
  // ThreadMain is the first virtual function.
  class Delegate {
   public:
    virtual void ThreadMain() = 0;

   protected:
    ~Delegate() = default;
  };

  static PlatformThreadId CurrentId();

  // A joinable thread's handle goes to *thread_handle; the caller must Join
  // it. False when the system could not create the thread.
  static bool Create(size_t stack_size, Delegate* delegate, PlatformThreadHandle* thread_handle) {
    return CreateWithPriority(stack_size, delegate, thread_handle, ThreadPriority::NORMAL);
  }
  static bool CreateWithPriority(size_t stack_size,
                                 Delegate* delegate,
                                 PlatformThreadHandle* thread_handle,
                                 ThreadPriority priority);
  static bool CreateNonJoinable(size_t stack_size, Delegate* delegate) {
    return CreateNonJoinableWithPriority(stack_size, delegate, ThreadPriority::NORMAL);
  }
  static bool CreateNonJoinableWithPriority(size_t stack_size,
                                            Delegate* delegate,
                                            ThreadPriority priority);

  // Waits for the thread to end and closes its handle.
  static void Join(PlatformThreadHandle thread_handle);

  // Sleeps at least the given span (rounded up to whole milliseconds);
  // zero or negative spans return at once.
  static void Sleep(TimeDelta duration);
  static void YieldCurrentThread();

  // Names the calling thread for the name table, task profiling and an
  // attached debugger.
  static void SetName(const std::string& name);
  // The calling thread's name, "" when it has none.
  static const char* GetName();

  PlatformThread() = delete;
};

}  // namespace base

#endif  // BASE_THREADING_PLATFORM_THREAD_H_
