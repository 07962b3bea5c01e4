#include "base/win/scoped_handle.h"

#include "base/location.h"
#include "base/win/scoped_handle_verifier.h"

namespace base {
namespace win {

// static
bool HandleTraits::CloseHandle(HANDLE handle) {
  return GetProcessHandleVerifier()->CloseHandle(handle);
}

// static
void VerifierTraits::StartTracking(HANDLE handle,
                                   const void* owner,
                                   const void* pc1,
                                   const void* pc2) {
  GetProcessHandleVerifier()->StartTracking(handle, owner, pc1, pc2);
}

// static
void VerifierTraits::StopTracking(HANDLE handle,
                                  const void* owner,
                                  const void* pc1,
                                  const void* pc2) {
  GetProcessHandleVerifier()->StopTracking(handle, owner, pc1, pc2);
}

ScopedHandle::ScopedHandle(HANDLE handle) {
  if (handle)
    Set(handle);
}

ScopedHandle::ScopedHandle(ScopedHandle&& other) {
  Set(other.Take());
}

ScopedHandle& ScopedHandle::operator=(ScopedHandle&& other) {
  if (this != &other)
    Set(other.Take());
  return *this;
}

ScopedHandle::~ScopedHandle() {
  Close();
}

__attribute__((noinline)) void ScopedHandle::Set(HANDLE handle) {
  if (handle_ == handle)
    return;
  const DWORD last_error = ::GetLastError();
  Close();
  if (HandleTraits::IsHandleValid(handle)) {
    handle_ = handle;
    VerifierTraits::StartTracking(handle, this, __builtin_return_address(0),
                                  GetProgramCounter());
  }
  ::SetLastError(last_error);
}

__attribute__((noinline)) HANDLE ScopedHandle::Take() {
  HANDLE handle = handle_;
  handle_ = nullptr;
  // An empty object tracks nothing: reporting its null handle would look
  // like the release of a handle nobody owns.
  if (HandleTraits::IsHandleValid(handle)) {
    VerifierTraits::StopTracking(handle, this, __builtin_return_address(0),
                                 GetProgramCounter());
  }
  return handle;
}

__attribute__((noinline)) void ScopedHandle::Close() {
  if (!HandleTraits::IsHandleValid(handle_))
    return;
  VerifierTraits::StopTracking(handle_, this, __builtin_return_address(0),
                               GetProgramCounter());
  HandleTraits::CloseHandle(handle_);
  handle_ = nullptr;
}

}  // namespace win
}  // namespace base
