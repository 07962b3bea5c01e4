#include "base/win/scoped_process_information.h"

namespace base {
namespace win {

ScopedProcessInformation::ScopedProcessInformation(
    const PROCESS_INFORMATION& info) {
  Set(info);
}

void ScopedProcessInformation::Set(const PROCESS_INFORMATION& info) {
  Close();
  process_handle_.Set(info.hProcess);
  thread_handle_.Set(info.hThread);
  process_id_ = info.dwProcessId;
  thread_id_ = info.dwThreadId;
}

void ScopedProcessInformation::Close() {
  process_handle_.Close();
  thread_handle_.Close();
  process_id_ = 0;
  thread_id_ = 0;
}

}  // namespace win
}  // namespace base
