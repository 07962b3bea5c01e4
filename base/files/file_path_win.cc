#include "base/files/file_path.h"

#include <windows.h>

#include <atomic>

#include "base/debug/alias.h"
#include "base/scoped_native_library.h"

namespace base {

namespace {

typedef LPWSTR(WINAPI* CharUpperWFunction)(LPWSTR);

std::atomic<CharUpperWFunction> g_char_upper_w{nullptr};

// Writes its locals where a crash dump keeps them, then ends the process
// with an access fault when the lookup is still missing.
__attribute__((noinline)) void CrashForMissingCharUpperW(
    DWORD entry_error,
    DWORD lookup_error,
    HMODULE user32) {
  char module_name[MAX_PATH] = {};
  DWORD name_length = 0;
  if (user32)
    name_length = GetModuleFileNameA(user32, module_name, MAX_PATH);
  DWORD name_error = GetLastError();
  FARPROC char_upper_a =
      user32 ? GetProcAddress(user32, "CharUpperA") : nullptr;
  DWORD char_upper_a_error = GetLastError();
  FARPROC close_window =
      user32 ? GetProcAddress(user32, "CloseWindow") : nullptr;
  DWORD close_window_error = GetLastError();

  DebugAlias(&entry_error);
  DebugAlias(&lookup_error);
  DebugAlias(&user32);
  DebugAlias(module_name);
  DebugAlias(&name_length);
  DebugAlias(&name_error);
  DebugAlias(&char_upper_a);
  DebugAlias(&char_upper_a_error);
  DebugAlias(&close_window);
  DebugAlias(&close_window_error);

  // Another thread may have found it meanwhile.
  if (g_char_upper_w.load(std::memory_order_acquire))
    return;
  int* volatile null_pointer = nullptr;
  *null_pointer = 0;
}

CharUpperWFunction GetCharUpperW() {
  CharUpperWFunction function = g_char_upper_w.load(std::memory_order_acquire);
  if (function)
    return function;

  // Two threads may both get here; they find the same function.
  const DWORD entry_error = GetLastError();
  HMODULE user32 = GetModuleHandleW(L"user32.dll");
  // Load it rather than depend on what else the process happened to load;
  // it is never freed, so the cached pointer stays valid.
  if (!user32)
    user32 = LoadSystemLibrary(L"user32.dll");
  if (user32) {
    function = reinterpret_cast<CharUpperWFunction>(
        reinterpret_cast<void*>(GetProcAddress(user32, "CharUpperW")));
  }
  if (!function) {
    CrashForMissingCharUpperW(entry_error, GetLastError(), user32);
    return g_char_upper_w.load(std::memory_order_acquire);
  }
  g_char_upper_w.store(function, std::memory_order_release);
  SetLastError(entry_error);
  return function;
}

// The single-character form: the unit travels in the low word of the
// pointer argument and comes back the same way.
char16 UpperCaseUnit(CharUpperWFunction char_upper, char16 unit) {
  LPWSTR result = char_upper(
      reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(unit)));
  return static_cast<char16>(reinterpret_cast<ULONG_PTR>(result) & 0xFFFF);
}

}  // namespace

// static
int FilePath::CompareIgnoreCase(StringPiece16 string1, StringPiece16 string2) {
  CharUpperWFunction char_upper = GetCharUpperW();
  const size_t length1 = string1.size();
  const size_t length2 = string2.size();
  const size_t common = length1 < length2 ? length1 : length2;
  for (size_t i = 0; i < common; ++i) {
    const char16 unit1 = UpperCaseUnit(char_upper, string1.data()[i]);
    const char16 unit2 = UpperCaseUnit(char_upper, string2.data()[i]);
    if (unit1 < unit2)
      return -1;
    if (unit1 > unit2)
      return 1;
  }
  if (length1 < length2)
    return -1;
  if (length1 > length2)
    return 1;
  return 0;
}

}  // namespace base
