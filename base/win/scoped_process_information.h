#ifndef BASE_WIN_SCOPED_PROCESS_INFORMATION_H_
#define BASE_WIN_SCOPED_PROCESS_INFORMATION_H_

#include <windows.h>

#include "base/win/scoped_handle.h"

namespace base {
namespace win {

// Owns the two handles of a PROCESS_INFORMATION and keeps its ids.
class ScopedProcessInformation {
 public:
  ScopedProcessInformation() = default;
  explicit ScopedProcessInformation(const PROCESS_INFORMATION& info);
  ScopedProcessInformation(const ScopedProcessInformation&) = delete;
  ScopedProcessInformation& operator=(const ScopedProcessInformation&) = delete;
  ~ScopedProcessInformation() = default;

  // Closes what is held, then takes both handles and both ids.
  void Set(const PROCESS_INFORMATION& info);
  // Closes both handles and zeroes the ids.
  void Close();

  HANDLE process_handle() const { return process_handle_.Get(); }
  HANDLE thread_handle() const { return thread_handle_.Get(); }
  DWORD process_id() const { return process_id_; }
  DWORD thread_id() const { return thread_id_; }

  // Gives up the process handle without closing it.
  HANDLE TakeProcessHandle() { return process_handle_.Take(); }

 private:
  ScopedHandle process_handle_;
  ScopedHandle thread_handle_;
  DWORD process_id_ = 0;
  DWORD thread_id_ = 0;
};

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_SCOPED_PROCESS_INFORMATION_H_
