#include "base/win/scoped_handle_verifier.h"

#include <atomic>
#include <memory>
#include <new>

#include "base/debug/alias.h"
#include "base/hash/super_fast_hash.h"
#include "base/lazy_instance.h"
#include "base/logging.h"
#include "base/strings/utf_string_conversions.h"

namespace base {
namespace win {

namespace {

constexpr LONG kStatusInfoLengthMismatch = static_cast<LONG>(0xC0000004);
constexpr LONG kStatusNoMemory = static_cast<LONG>(0xC0000017);
constexpr LONG kStatusNotImplemented = static_cast<LONG>(0xC0000002);
constexpr ULONG kObjectTypeInformation = 2;

// The module's one lock for its verifier and the installation of it.
LazyInstance<Lock> g_lock;

// Written once, under the lock; read without it once set.
std::atomic<HandleVerifier*> g_active_verifier{nullptr};

// Ownership rules were broken, or a close failed: a programming error. The
// caller has put what matters on its stack for the crash dump.
[[noreturn]] void HandleVerifierCrash() {
  __builtin_trap();
}

// The module that holds this code (the executable or a DLL linking it).
HMODULE ThisModule() {
  HMODULE module = nullptr;
  ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}

void SetVerifierOnce(HandleVerifier* verifier) {
  AutoLock lock(g_lock.Get());
  if (!g_active_verifier)
    g_active_verifier = verifier;
}

void CreateVerifierOnce(bool enabled) {
  AutoLock lock(g_lock.Get());
  if (!g_active_verifier)
    g_active_verifier = new internal::ActiveVerifier(enabled);
}

void InstallVerifier() {
  using GetHandleVerifierFunction = HandleVerifier* (*)();
  HMODULE main_module = ::GetModuleHandleW(nullptr);
  auto get_verifier = reinterpret_cast<GetHandleVerifierFunction>(
      reinterpret_cast<void*>(::GetProcAddress(main_module, "GetHandleVerifier")));
  if (!get_verifier) {
    CreateVerifierOnce(false);
    return;
  }
  // The executable exports it. When that executable is this module, the
  // export is this module's own and the verifier made here is the process's
  // one; otherwise adopt the executable's.
  if (main_module == ThisModule()) {
    CreateVerifierOnce(true);
    return;
  }
  HandleVerifier* main_verifier = get_verifier();
  if (main_verifier)
    SetVerifierOnce(main_verifier);
  else
    CreateVerifierOnce(false);
}

}  // namespace

HandleVerifier* GetProcessHandleVerifier() {
  HandleVerifier* verifier = g_active_verifier.load();
  if (verifier)
    return verifier;
  InstallVerifier();
  return g_active_verifier.load();
}

LONG QueryObjectTypeName(HANDLE handle,
                         std::string* name,
                         NtQueryObjectFunction nt_query_object) {
  ULONG size = 0;
  LONG status =
      nt_query_object(handle, kObjectTypeInformation, nullptr, 0, &size);
  if (status != kStatusInfoLengthMismatch || size == 0)
    return status;
  const ULONG allocated = size;
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[allocated]);
  if (!buffer)
    return kStatusNoMemory;
  status = nt_query_object(handle, kObjectTypeInformation, buffer.get(),
                           allocated, &size);
  if (status < 0)
    return status;
  // The type information starts with the counted name; its text normally
  // follows inside the same buffer. Trust no length that leaves it.
  struct CountedString {
    USHORT length;  // In bytes.
    USHORT maximum_length;
    const wchar_t* buffer;
  };
  if (allocated < sizeof(CountedString))
    return status;
  CountedString type_name;
  memcpy(&type_name, buffer.get(), sizeof(type_name));
  const size_t chars = type_name.length / 2;
  const char* text = reinterpret_cast<const char*>(type_name.buffer);
  const char* end = buffer.get() + allocated;
  if (text && text >= buffer.get() && text <= end &&
      chars <= static_cast<size_t>(end - text) / 2) {
    *name = WideToUTF8(std::wstring(type_name.buffer, chars));
  }
  return status;
}

bool CloseHandleWrapper(HANDLE handle) {
  if (::CloseHandle(handle))
    return true;

  // Everything below ends up on the stack for the crash dump.
  DWORD last_error = ::GetLastError();
  DebugAlias(&last_error);

  std::string type_name;
  LONG query_status = kStatusNotImplemented;
  auto nt_query_object = reinterpret_cast<NtQueryObjectFunction>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"),
                                               "NtQueryObject")));
  if (nt_query_object)
    query_status = QueryObjectTypeName(handle, &type_name, nt_query_object);
  DebugAlias(&query_status);
  char type_name_copy[32] = {};
  type_name.copy(type_name_copy, sizeof(type_name_copy) - 1);
  DebugAlias(type_name_copy);

  DWORD flags = 0;
  DWORD flags_error = ERROR_SUCCESS;
  if (!::GetHandleInformation(handle, &flags)) {
    flags = 0;
    flags_error = ::GetLastError();
  }
  DebugAlias(&flags);
  DebugAlias(&flags_error);

  // A protected process handle may fail to close; that is tolerated.
  if (type_name == "Process" && (flags & HANDLE_FLAG_PROTECT_FROM_CLOSE))
    return false;

  HandleVerifierCrash();
}

namespace internal {

namespace {

// Copies the tracked entry and the verifier's creation stack onto this
// frame, where the crash dump will have them, and ends the process.
[[noreturn]] __attribute__((noinline)) void CrashWithHandleInfo(
    const HandleInfo& info,
    const debug::StackTrace& creation_stack,
    const void* other_owner) {
  HandleInfo info_copy = info;
  debug::StackTrace creation_stack_copy = creation_stack;
  DebugAlias(&info_copy);
  DebugAlias(&creation_stack_copy);
  DebugAlias(&other_owner);
  HandleVerifierCrash();
}

}  // namespace

size_t HandleHash::operator()(HANDLE handle) const {
  char bytes[sizeof(handle)];
  memcpy(bytes, &handle, sizeof(handle));
  return SuperFastHash(bytes, sizeof(bytes));
}

ActiveVerifier::ActiveVerifier(bool enabled)
    : enabled_(enabled), closing_(::TlsAlloc()), lock_(g_lock.Pointer()),
      map_(8) {
  if (closing_ == TLS_OUT_OF_INDEXES)
    HandleVerifierCrash();
  map_.max_load_factor(1.0f);
}

ActiveVerifier::~ActiveVerifier() {
  ::TlsFree(closing_);
}

void ActiveVerifier::SetClosing(bool closing) {
  if (!::TlsSetValue(closing_, closing ? this : nullptr))
    LOG(FATAL) << "Failed to TlsSetValue().";
}

bool ActiveVerifier::CloseHandle(HANDLE handle) {
  if (!enabled_)
    return CloseHandleWrapper(handle);
  SetClosing(true);
  const bool closed = CloseHandleWrapper(handle);
  SetClosing(false);
  return closed;
}

void ActiveVerifier::StartTracking(HANDLE handle,
                                   const void* owner,
                                   const void* pc1,
                                   const void* pc2) {
  if (!enabled_)
    return;
  // The stack and thread id are taken before the lock, to hold it briefly.
  const HandleInfo info{owner, pc1, pc2, debug::StackTrace(),
                        ::GetCurrentThreadId()};
  AutoLock lock(*lock_);
  auto inserted = map_.emplace(handle, info);
  if (!inserted.second) {
    // Taken twice: both owners go into the dump.
    CrashWithHandleInfo(inserted.first->second, creation_stack_, owner);
  }
}

void ActiveVerifier::StopTracking(HANDLE handle,
                                  const void* owner,
                                  const void* pc1,
                                  const void* pc2) {
  if (!enabled_)
    return;
  AutoLock lock(*lock_);
  auto it = map_.find(handle);
  if (it == map_.end()) {
    debug::StackTrace creation_stack = creation_stack_;
    DebugAlias(&creation_stack);
    DebugAlias(&handle);
    HandleVerifierCrash();
  }
  if (it->second.owner != owner)
    CrashWithHandleInfo(it->second, creation_stack_, owner);
  map_.erase(it);
}

void ActiveVerifier::Disable() {
  enabled_ = false;
}

void ActiveVerifier::OnHandleBeingClosed(HANDLE handle) {
  if (!enabled_)
    return;
  if (::TlsGetValue(closing_))
    return;  // The verifier's own close.
  AutoLock lock(*lock_);
  auto it = map_.find(handle);
  if (it != map_.end())
    CrashWithHandleInfo(it->second, creation_stack_, nullptr);
}

HMODULE ActiveVerifier::GetModule() const {
  return ThisModule();
}

}  // namespace internal
}  // namespace win
}  // namespace base
