#include "base/win/scoped_handle.h"

#include <windows.h>

#include <string>
#include <utility>

#include "base/win/scoped_handle_verifier.h"
#include "gtest/gtest.h"
#include "testing/expect_trap.h"

namespace base {
namespace win {
namespace {

HANDLE NewEvent() {
  return ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

bool IsOpen(HANDLE handle) {
  DWORD flags = 0;
  return ::GetHandleInformation(handle, &flags) != FALSE;
}

TEST(ScopedHandleTest, SetKeepsTheLastErrorAndIgnoresTheHeldHandle) {
  HANDLE event = NewEvent();
  ::SetLastError(1234);
  ScopedHandle handle(event);
  EXPECT_EQ(1234u, ::GetLastError());
  ASSERT_TRUE(handle.IsValid());
  HANDLE raw = handle.Get();

  handle.Set(raw);  // Same handle: neither closed nor tracked twice.
  EXPECT_TRUE(IsOpen(raw));
  EXPECT_EQ(raw, handle.Get());

  ::SetLastError(5678);
  handle.Set(INVALID_HANDLE_VALUE);
  EXPECT_EQ(5678u, ::GetLastError());
  EXPECT_FALSE(handle.IsValid());
  EXPECT_EQ(nullptr, handle.Get());
  EXPECT_FALSE(IsOpen(raw));

  handle.Close();  // Empty: nothing.
  ScopedHandle invalid(INVALID_HANDLE_VALUE);
  EXPECT_EQ(nullptr, invalid.Get());
}

TEST(ScopedHandleTest, TakeAndMoveHandOverOwnership) {
  ScopedHandle first(NewEvent());
  HANDLE raw = first.Get();

  // Each hand-over stops tracking for the old owner; otherwise the next
  // owner's tracking or close would end the process.
  ScopedHandle second(std::move(first));
  EXPECT_FALSE(first.IsValid());
  EXPECT_EQ(raw, second.Get());
  ScopedHandle third;
  third = std::move(second);
  EXPECT_EQ(raw, third.Get());
  third = std::move(third);
  EXPECT_EQ(raw, third.Get());

  HANDLE taken = third.Take();
  EXPECT_EQ(raw, taken);
  EXPECT_FALSE(third.IsValid());
  EXPECT_TRUE(IsOpen(raw));
  {
    ScopedHandle adopted(taken);
  }
  EXPECT_FALSE(IsOpen(raw));

  // Taking from, or moving out of, an empty object reports nothing.
  ScopedHandle empty;
  EXPECT_EQ(nullptr, empty.Take());
  ScopedHandle from_empty(std::move(empty));
  from_empty = ScopedHandle();
  EXPECT_FALSE(from_empty.IsValid());
}

TEST(HandleVerifierTest, ProcessVerifierIsTheExportedOneAndEnabled) {
  HandleVerifier* verifier = GetHandleVerifier();
  ASSERT_NE(nullptr, verifier);
  EXPECT_EQ(verifier, GetHandleVerifier());
  EXPECT_EQ(verifier, GetProcessHandleVerifier());
  EXPECT_EQ(::GetModuleHandleW(nullptr), verifier->GetModule());

  // Enabled: a tracked handle is known to it.
  ScopedHandle handle(NewEvent());
  EXPECT_TRAP_DEATH(
      verifier->StartTracking(handle.Get(), &handle, nullptr, nullptr));
}

// The product DLL, loaded by this executable, must share the executable's
// verifier rather than make its own.
TEST(HandleVerifierTest, LoadedModuleAdoptsTheExecutablesVerifier) {
  HMODULE dll = ::LoadLibraryW(L"palvo_installer.dll");
  ASSERT_NE(nullptr, dll) << "the product DLL is built beside the tests";
  using GetFunction = HandleVerifier* (*)();
  auto get = reinterpret_cast<GetFunction>(
      reinterpret_cast<void*>(::GetProcAddress(dll, "GetHandleVerifier")));
  ASSERT_NE(nullptr, get);
  EXPECT_NE(reinterpret_cast<void*>(get),
            reinterpret_cast<void*>(&GetHandleVerifier));
  EXPECT_EQ(GetProcessHandleVerifier(), get());
  ::FreeLibrary(dll);
}

TEST(HandleVerifierDeathTest, BrokenOwnershipEndsTheProcess) {
  HandleVerifier* verifier = GetProcessHandleVerifier();
  ScopedHandle handle(NewEvent());
  int stranger = 0;

  EXPECT_TRAP_DEATH({ ScopedHandle twice(handle.Get()); });
  EXPECT_TRAP_DEATH(
      verifier->StopTracking(handle.Get(), &stranger, nullptr, nullptr));
  EXPECT_TRAP_DEATH(verifier->OnHandleBeingClosed(handle.Get()));

  HANDLE untracked = NewEvent();
  EXPECT_TRAP_DEATH(
      verifier->StopTracking(untracked, &stranger, nullptr, nullptr));
  verifier->OnHandleBeingClosed(untracked);  // Not ours: nothing.
  ::CloseHandle(untracked);
}

TEST(HandleVerifierDeathTest, DisabledVerifierTracksNothingButStopsFailedCloses) {
  internal::ActiveVerifier verifier(false);
  HANDLE raw = NewEvent();
  int a = 0, b = 0;
  verifier.StartTracking(raw, &a, nullptr, nullptr);
  verifier.StartTracking(raw, &b, nullptr, nullptr);
  verifier.StopTracking(raw, &b, nullptr, nullptr);
  verifier.StopTracking(raw, &b, nullptr, nullptr);
  verifier.OnHandleBeingClosed(raw);
  EXPECT_TRUE(verifier.CloseHandle(raw));
  EXPECT_TRAP_DEATH(verifier.CloseHandle(raw));

  // Disabling an enabled one: entries stay, but nothing is checked.
  internal::ActiveVerifier enabled(true);
  HANDLE other = NewEvent();
  enabled.StartTracking(other, &a, nullptr, nullptr);
  enabled.Disable();
  enabled.StartTracking(other, &b, nullptr, nullptr);
  enabled.StopTracking(other, &b, nullptr, nullptr);
  EXPECT_TRUE(enabled.CloseHandle(other));
}

TEST(HandleVerifierTest, ProtectedProcessHandleMayFailToClose) {
  HANDLE process = nullptr;
  ASSERT_TRUE(::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentProcess(),
                                ::GetCurrentProcess(), &process, 0, FALSE,
                                DUPLICATE_SAME_ACCESS));
  ASSERT_TRUE(::SetHandleInformation(process, HANDLE_FLAG_PROTECT_FROM_CLOSE,
                                     HANDLE_FLAG_PROTECT_FROM_CLOSE));
  EXPECT_FALSE(CloseHandleWrapper(process));
  EXPECT_TRUE(IsOpen(process));
  ASSERT_TRUE(::SetHandleInformation(process, HANDLE_FLAG_PROTECT_FROM_CLOSE, 0));
  EXPECT_TRUE(CloseHandleWrapper(process));

  // A protected handle of another type is no excuse.
  HANDLE event = NewEvent();
  ASSERT_TRUE(::SetHandleInformation(event, HANDLE_FLAG_PROTECT_FROM_CLOSE,
                                     HANDLE_FLAG_PROTECT_FROM_CLOSE));
  EXPECT_TRAP_DEATH(CloseHandleWrapper(event));
  ::SetHandleInformation(event, HANDLE_FLAG_PROTECT_FROM_CLOSE, 0);
  ::CloseHandle(event);
}

// Stand-ins for NtQueryObject that answer in scripted ways.
LONG g_first_status;
ULONG g_first_size;
USHORT g_reported_length;

LONG WINAPI ScriptedQuery(HANDLE, ULONG information_class, void* information,
                          ULONG length, ULONG* return_length) {
  EXPECT_EQ(2u, information_class);
  if (!information) {
    *return_length = g_first_size;
    return g_first_status;
  }
  struct {
    USHORT length;
    USHORT maximum_length;
    const wchar_t* buffer;
  } header;
  wchar_t* text = reinterpret_cast<wchar_t*>(
      static_cast<char*>(information) + sizeof(header));
  memcpy(text, L"Mutant", 12);
  header = {g_reported_length, 12, text};
  memcpy(information, &header, sizeof(header));
  *return_length = 0x7fffffff;  // Claims more than it was given.
  return 0;
}

TEST(HandleVerifierTest, QueryObjectTypeName) {
  HANDLE event = NewEvent();
  std::string name;
  auto nt_query_object = reinterpret_cast<NtQueryObjectFunction>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"),
                                               "NtQueryObject")));
  ASSERT_NE(nullptr, nt_query_object);
  EXPECT_EQ(0, QueryObjectTypeName(event, &name, nt_query_object));
  EXPECT_EQ("Event", name);
  ::CloseHandle(event);

  const ULONG kBufferSize = 64;
  g_first_status = static_cast<LONG>(0xC0000004);
  g_first_size = kBufferSize;
  g_reported_length = 12;
  name.clear();
  EXPECT_EQ(0, QueryObjectTypeName(nullptr, &name, &ScriptedQuery));
  EXPECT_EQ("Mutant", name);

  // A length that runs past the buffer is not trusted.
  g_reported_length = 0xFFFE;
  name.clear();
  EXPECT_EQ(0, QueryObjectTypeName(nullptr, &name, &ScriptedQuery));
  EXPECT_EQ("", name);

  // Other first answers come back unchanged, without a second query.
  g_first_status = static_cast<LONG>(0xC0000008);
  EXPECT_EQ(static_cast<LONG>(0xC0000008),
            QueryObjectTypeName(nullptr, &name, &ScriptedQuery));
  g_first_status = static_cast<LONG>(0xC0000004);
  g_first_size = 0;
  EXPECT_EQ(static_cast<LONG>(0xC0000004),
            QueryObjectTypeName(nullptr, &name, &ScriptedQuery));
}

}  // namespace
}  // namespace win
}  // namespace base
