#ifndef BASE_WIN_SCOPED_HANDLE_VERIFIER_H_
#define BASE_WIN_SCOPED_HANDLE_VERIFIER_H_

#include <windows.h>

#include <string>
#include <unordered_map>

#include "base/debug/stack_trace.h"
#include "base/synchronization/lock.h"

namespace base {
namespace win {

// The process-wide tracker of handles owned by ScopedHandles. Modules of one
// process share one, reached through the exported GetHandleVerifier, so the
// order of these operations is fixed: other modules call them through the
// table of virtual operations. Never deleted through this interface.
class HandleVerifier {
 public:
  virtual bool CloseHandle(HANDLE handle) = 0;
  virtual void StartTracking(HANDLE handle,
                             const void* owner,
                             const void* pc1,
                             const void* pc2) = 0;
  virtual void StopTracking(HANDLE handle,
                            const void* owner,
                            const void* pc1,
                            const void* pc2) = 0;
  virtual void Disable() = 0;
  virtual void OnHandleBeingClosed(HANDLE handle) = 0;
  virtual HMODULE GetModule() const = 0;

 protected:
  ~HandleVerifier() = default;
};

// The process's verifier, installed on first use: the main executable's own
// when it exports GetHandleVerifier, else one of this module's (enabled only
// when this module is the main executable). Never null.
HandleVerifier* GetProcessHandleVerifier();

// Closes a handle; a failed close ends the process, except for a process
// handle that is protected from closing, for which it returns false.
bool CloseHandleWrapper(HANDLE handle);

using NtQueryObjectFunction = LONG(WINAPI*)(HANDLE handle,
                                           ULONG information_class,
                                           void* information,
                                           ULONG length,
                                           ULONG* return_length);

// The kernel object type of `handle` ("Process", "Event", ...) as UTF-8.
// Returns the status of the query.
LONG QueryObjectTypeName(HANDLE handle,
                         std::string* name,
                         NtQueryObjectFunction nt_query_object);

namespace internal {

// What the verifier keeps per tracked handle.
struct HandleInfo {
  const void* owner;
  const void* pc1;  // Return address into the ScopedHandle's caller.
  const void* pc2;  // Inside the ScopedHandle operation.
  debug::StackTrace stack;  // Where tracking started.
  DWORD thread_id;
};

struct HandleHash {
  size_t operator()(HANDLE handle) const;
};

class ActiveVerifier final : public HandleVerifier {
 public:
  explicit ActiveVerifier(bool enabled);
  ActiveVerifier(const ActiveVerifier&) = delete;
  ActiveVerifier& operator=(const ActiveVerifier&) = delete;
  // The process's verifier is never destroyed; tests make their own.
  ~ActiveVerifier();

  bool CloseHandle(HANDLE handle) override;
  void StartTracking(HANDLE handle,
                     const void* owner,
                     const void* pc1,
                     const void* pc2) override;
  void StopTracking(HANDLE handle,
                    const void* owner,
                    const void* pc1,
                    const void* pc2) override;
  void Disable() override;
  void OnHandleBeingClosed(HANDLE handle) override;
  HMODULE GetModule() const override;

 private:
  void SetClosing(bool closing);

  // Kept for crash dumps: who made the verifier.
  debug::StackTrace creation_stack_;
  bool enabled_;
  DWORD closing_;  // TLS index: set while this thread closes a handle here.
  Lock* lock_;
  std::unordered_map<HANDLE, HandleInfo, HandleHash> map_;
};

}  // namespace internal
}  // namespace win
}  // namespace base

// Exported with C linkage by the modules that share their verifier (the
// product DLL, the test executables); defined there, not in this library.
extern "C" base::win::HandleVerifier* GetHandleVerifier();

#endif  // BASE_WIN_SCOPED_HANDLE_VERIFIER_H_
