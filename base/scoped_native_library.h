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

// Loads the system library |name| (a file name, no folder) from the system
// folder only. A bare name would be searched for beside the executable
// first, and an installer runs from a downloads folder where anyone may
// have left a library of that name; only the installer's own modules are
// meant to be found there. Null on failure, with the loader's error.
HMODULE LoadSystemLibrary(const wchar_t* name);

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
