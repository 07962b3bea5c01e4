#include "base/scoped_native_library.h"

#include <wchar.h>

#include <string>

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

HMODULE LoadSystemLibrary(const wchar_t* name) {
  if (wcspbrk(name, L"\\/:")) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  HMODULE module = ::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (module || ::GetLastError() != ERROR_INVALID_PARAMETER)
    return module;
  // Windows 7 without its loader update refuses the flag. The full path,
  // with the library's own dependencies looked up from its folder first,
  // keeps the executable's folder out there too.
  wchar_t system[MAX_PATH];
  const UINT length = ::GetSystemDirectoryW(system, MAX_PATH);
  if (length == 0 || length >= MAX_PATH)
    return nullptr;
  std::wstring path(system, length);
  if (path.back() != L'\\')
    path.push_back(L'\\');
  path.append(name);
  return ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
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
