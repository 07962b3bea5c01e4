#ifndef BASE_PROCESS_PROCESS_H_
#define BASE_PROCESS_PROCESS_H_

#include <windows.h>

#include <stdint.h>

#include "base/win/scoped_handle.h"

namespace base {

// Owns a handle to a process, or stands for the current process. Movable,
// not copyable. An invalid Process has a null handle and is not current.
class Process {
 public:
  Process() = default;
  // Takes ownership of `handle`. The current-process pseudo handle is a
  // programming error: use Current() for that.
  explicit Process(HANDLE handle);
  Process(Process&& other);
  Process& operator=(Process&& other);
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;
  ~Process() = default;

  static Process Current();

  bool IsValid() const;
  HANDLE Handle() const;
  uint32_t Pid() const;

 private:
  bool is_current_process_ = false;
  win::ScopedHandle process_;
};

}  // namespace base

#endif  // BASE_PROCESS_PROCESS_H_
