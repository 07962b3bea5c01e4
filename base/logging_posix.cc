// The logger's edge for the host build, so that everything above it runs
// natively under the sanitizers as well.

#if !defined(_WIN32)

#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include "base/logging_internal.h"
#include "base/strings/utf_string_conversions.h"

namespace base {
namespace logging_internal {

SystemErrorCode PlatformGetLastError() {
  return static_cast<SystemErrorCode>(errno);
}

void PlatformSetLastError(SystemErrorCode error) {
  errno = static_cast<int>(error);
}

uint32_t PlatformProcessId() {
  return static_cast<uint32_t>(getpid());
}

uint32_t PlatformThreadId() {
  return static_cast<uint32_t>(syscall(SYS_gettid));
}

LocalTime PlatformLocalTime() {
  time_t now = time(nullptr);
  struct tm local = {};
  localtime_r(&now, &local);
  LocalTime time;
  time.month = local.tm_mon + 1;
  time.day = local.tm_mday;
  time.hour = local.tm_hour;
  time.minute = local.tm_min;
  time.second = local.tm_sec;
  return time;
}

uint32_t PlatformTickCount() {
  struct timespec now = {};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint32_t>(now.tv_sec * 1000 + now.tv_nsec / 1000000);
}

void PlatformOutputDebugString(const std::string& text) {}

void PlatformWriteStderr(const std::string& text) {
  fwrite(text.data(), 1, text.size(), stderr);
  fflush(stderr);
}

string16 PlatformExecutablePath() {
  char path[4096];
  ssize_t size = readlink("/proc/self/exe", path, sizeof(path));
  if (size <= 0 || static_cast<size_t>(size) >= sizeof(path))
    return string16();
  return UTF8ToUTF16(StringPiece(path, static_cast<size_t>(size)));
}

bool PlatformCurrentDirectory(string16* directory) {
  char path[4096];
  if (!getcwd(path, sizeof(path)))
    return false;
  *directory = UTF8ToUTF16(path);
  return true;
}

LogFileHandle PlatformOpenLogFile(const string16& name) {
  FILE* file = fopen(UTF16ToUTF8(name).c_str(), "a");
  if (file)
    setvbuf(file, nullptr, _IONBF, 0);
  return file;
}

void PlatformCloseLogFile(LogFileHandle file) {
  fclose(static_cast<FILE*>(file));
}

void PlatformWriteLogFile(LogFileHandle file, const std::string& text) {
  fwrite(text.data(), 1, text.size(), static_cast<FILE*>(file));
}

void PlatformDeleteFile(const string16& name) {
  unlink(UTF16ToUTF8(name).c_str());
}

bool PlatformFormatError(SystemErrorCode code,
                         std::string* text,
                         SystemErrorCode* format_error) {
  char buffer[256];
  const char* message = strerror_r(static_cast<int>(code), buffer,
                                   sizeof(buffer));
  *text = message;
  return true;
}

void PlatformBreakAndDie() {
  __builtin_trap();
}

}  // namespace logging_internal
}  // namespace base

#endif  // !defined(_WIN32)
