#include "base/scoped_native_library.h"

#include "base/files/file_util.h"
#include "base/strings/string16.h"

namespace base {

HMODULE LoadNativeLibraryHelper(const FilePath& path, NativeLibraryLoader loader) {
  FilePath saved_directory;
  bool changed_directory = false;
  if (GetCurrentDirectory(&saved_directory)) {
    const FilePath library_directory = path.DirName();
    if (!library_directory.empty()) {
      changed_directory =
          !!::SetCurrentDirectoryW(as_wcstr(library_directory.value()));
    }
  }

  HMODULE module = loader(as_wcstr(path.value()));

  if (changed_directory) {
    // The loader's error is what callers want to see.
    const DWORD last_error = ::GetLastError();
    ::SetCurrentDirectoryW(as_wcstr(saved_directory.value()));
    ::SetLastError(last_error);
  }
  return module;
}

ScopedNativeLibrary::ScopedNativeLibrary(const FilePath& path)
    : library_(LoadNativeLibraryHelper(path, &::LoadLibraryW)) {}

ScopedNativeLibrary::~ScopedNativeLibrary() {
  if (library_)
    ::FreeLibrary(library_);
}

void* ScopedNativeLibrary::GetFunctionPointer(const char* name) const {
  if (!library_)
    return nullptr;
  return reinterpret_cast<void*>(::GetProcAddress(library_, name));
}

}  // namespace base
