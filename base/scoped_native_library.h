#ifndef BASE_SCOPED_NATIVE_LIBRARY_H_
#define BASE_SCOPED_NATIVE_LIBRARY_H_

#include <windows.h>

#include "base/files/file_path.h"

namespace base {

using NativeLibraryLoader = HMODULE(WINAPI*)(LPCWSTR);

// Loads `path` with `loader` while the current directory is the library's
// own folder, so that the libraries it depends on are found beside it.
// Null on failure.
HMODULE LoadNativeLibraryHelper(const FilePath& path, NativeLibraryLoader loader);

// A library loaded for the life of the object. Not copyable.
class ScopedNativeLibrary {
 public:
  explicit ScopedNativeLibrary(const FilePath& path);
  ScopedNativeLibrary(const ScopedNativeLibrary&) = delete;
  ScopedNativeLibrary& operator=(const ScopedNativeLibrary&) = delete;
  ~ScopedNativeLibrary();

  bool is_valid() const { return library_ != nullptr; }
  HMODULE get() const { return library_; }

  // Null when nothing is loaded or the library lacks `name`.
  void* GetFunctionPointer(const char* name) const;

 private:
  HMODULE library_ = nullptr;
};

}  // namespace base

#endif  // BASE_SCOPED_NATIVE_LIBRARY_H_
