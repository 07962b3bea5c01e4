// The logger's Windows edge: every system call the logger makes.

#include <windows.h>

#include <intrin.h>
#include <stdio.h>

#include "base/logging_internal.h"

namespace base {
namespace logging_internal {

namespace {

// MAX_PATH: a longer answer is cut by the system and would name the wrong
// folder, so it counts as no answer.
constexpr DWORD kPathCapacity = MAX_PATH;

}  // namespace

SystemErrorCode PlatformGetLastError() {
  return ::GetLastError();
}

void PlatformSetLastError(SystemErrorCode error) {
  ::SetLastError(error);
}

uint32_t PlatformProcessId() {
  return ::GetCurrentProcessId();
}

uint32_t PlatformThreadId() {
  return ::GetCurrentThreadId();
}

LocalTime PlatformLocalTime() {
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  LocalTime time;
  time.month = now.wMonth;
  time.day = now.wDay;
  time.hour = now.wHour;
  time.minute = now.wMinute;
  time.second = now.wSecond;
  return time;
}

uint32_t PlatformTickCount() {
  return ::GetTickCount();
}

void PlatformOutputDebugString(const std::string& text) {
  ::OutputDebugStringA(text.c_str());
}

void PlatformWriteStderr(const std::string& text) {
  fwrite(text.data(), 1, text.size(), stderr);
  fflush(stderr);
}

string16 PlatformExecutablePath() {
  wchar_t path[kPathCapacity + 1] = {};
  DWORD size = ::GetModuleFileNameW(nullptr, path, kPathCapacity);
  if (size == 0 || size >= kPathCapacity)
    return string16();
  return string16(as_u16cstr(path), size);
}

bool PlatformCurrentDirectory(string16* directory) {
  wchar_t path[kPathCapacity + 1] = {};
  DWORD size = ::GetCurrentDirectoryW(kPathCapacity, path);
  if (size == 0 || size > kPathCapacity)
    return false;
  directory->assign(as_u16cstr(path), size);
  return true;
}

LogFileHandle PlatformOpenLogFile(const string16& name) {
  HANDLE file = ::CreateFileW(as_wcstr(name), FILE_APPEND_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return nullptr;
  return file;
}

void PlatformCloseLogFile(LogFileHandle file) {
  ::CloseHandle(file);
}

void PlatformWriteLogFile(LogFileHandle file, const std::string& text) {
  // One call per line keeps lines whole when threads interleave.
  DWORD written = 0;
  ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written,
              nullptr);
}

void PlatformDeleteFile(const string16& name) {
  ::DeleteFileW(as_wcstr(name));
}

bool PlatformFormatError(SystemErrorCode code,
                         std::string* text,
                         SystemErrorCode* format_error) {
  char buffer[256];
  DWORD size = ::FormatMessageA(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      code, 0, buffer, sizeof(buffer), nullptr);
  if (size == 0) {
    *format_error = ::GetLastError();
    return false;
  }
  text->assign(buffer, size);
  return true;
}

void PlatformBreakAndDie() {
  __debugbreak();
  // A debugger may resume past the trap; the process ends all the same.
  ::TerminateProcess(::GetCurrentProcess(), STATUS_BREAKPOINT);
  __builtin_unreachable();
}

}  // namespace logging_internal
}  // namespace base
