#include "base/process/process.h"

#include "base/logging.h"

namespace base {

Process::Process(HANDLE handle) {
  CHECK_NE(handle, ::GetCurrentProcess());
  process_.Set(handle);
}

Process::Process(Process&& other) {
  *this = std::move(other);
}

Process& Process::operator=(Process&& other) {
  if (this == &other)
    return *this;
  process_.Set(other.process_.Take());
  is_current_process_ = other.is_current_process_;
  other.is_current_process_ = false;
  return *this;
}

// static
Process Process::Current() {
  Process process;
  process.is_current_process_ = true;
  return process;
}

bool Process::IsValid() const {
  return process_.IsValid() || is_current_process_;
}

HANDLE Process::Handle() const {
  return is_current_process_ ? ::GetCurrentProcess() : process_.Get();
}

uint32_t Process::Pid() const {
  return ::GetProcessId(Handle());
}

}  // namespace base
