#ifndef BASE_WIN_SCOPED_HANDLE_H_
#define BASE_WIN_SCOPED_HANDLE_H_

#include <windows.h>

namespace base {
namespace win {

// How a ScopedHandle closes and validates its handle. Closing goes through
// the process's handle verifier, which ends the process when a close fails.
class HandleTraits {
 public:
  HandleTraits() = delete;
  static bool CloseHandle(HANDLE handle);
  static bool IsHandleValid(HANDLE handle) {
    return handle != nullptr && handle != INVALID_HANDLE_VALUE;
  }
};

// Reports take-overs and releases to the process's handle verifier.
class VerifierTraits {
 public:
  VerifierTraits() = delete;
  static void StartTracking(HANDLE handle,
                            const void* owner,
                            const void* pc1,
                            const void* pc2);
  static void StopTracking(HANDLE handle,
                           const void* owner,
                           const void* pc1,
                           const void* pc2);
};

// Owns one kernel handle and closes it at scope end. Movable, not copyable.
// The empty state is null; INVALID_HANDLE_VALUE is never held.
class ScopedHandle {
 public:
  ScopedHandle() = default;
  explicit ScopedHandle(HANDLE handle);
  ScopedHandle(ScopedHandle&& other);
  ScopedHandle& operator=(ScopedHandle&& other);
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  ~ScopedHandle();

  bool IsValid() const { return HandleTraits::IsHandleValid(handle_); }
  HANDLE Get() const { return handle_; }

  // Closes the held handle and takes `handle` (an invalid one leaves the
  // object empty). Setting the held handle again does nothing. The caller's
  // last error survives.
  void Set(HANDLE handle);
  // Gives up the handle without closing it.
  HANDLE Take();
  void Close();

 private:
  HANDLE handle_ = nullptr;
};

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_SCOPED_HANDLE_H_
