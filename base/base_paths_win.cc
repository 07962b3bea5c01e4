#include "base/base_paths.h"

#include <windows.h>

#include <knownfolders.h>
#include <objbase.h>
#include <shlobj.h>

#include "base/files/file_util.h"
#include "base/path_service.h"
#include "base/win/windows_version.h"

// The image base of the module this code is linked into.
extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace base {

namespace {

constexpr DWORD kBufferLength = MAX_PATH;

// A module's file name; false when it cannot be read or did not fit.
bool GetModulePath(HMODULE module, FilePath* result) {
  wchar_t buffer[kBufferLength];
  const DWORD length = ::GetModuleFileNameW(module, buffer, kBufferLength);
  // A cut-off name would name some other file.
  if (length == 0 || length >= kBufferLength)
    return false;
  *result = FilePath(as_u16cstr(buffer));
  return true;
}

bool GetShellFolder(int csidl, FilePath* result) {
  wchar_t buffer[kBufferLength];
  if (FAILED(::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT,
                                buffer))) {
    return false;
  }
  *result = FilePath(as_u16cstr(buffer));
  return true;
}

// The folder of |key|'s answer; false when that has none, because the
// folder of an empty path would read as the current one.
bool GetParentOf(int key, FilePath* result) {
  FilePath path;
  if (!PathService::Get(key, &path))
    return false;
  *result = path.DirName();
  return true;
}

bool GetProgramFilesX86(FilePath* result) {
  const bool is_x86 = win::OSInfo::GetInstance()->architecture() ==
                      win::OSInfo::X86_ARCHITECTURE;
  return GetShellFolder(is_x86 ? CSIDL_PROGRAM_FILES : CSIDL_PROGRAM_FILESX86,
                        result);
}

bool GetAppShortcuts(FilePath* result) {
  if (win::GetVersion() < win::OSInfo::VERSION_WIN8)
    return false;
  wchar_t* path = nullptr;
  const HRESULT hr =
      ::SHGetKnownFolderPath(FOLDERID_ApplicationShortcuts, 0, nullptr, &path);
  if (SUCCEEDED(hr))
    *result = FilePath(as_u16cstr(path));
  ::CoTaskMemFree(path);
  return SUCCEEDED(hr);
}

bool GetSystemFolder(UINT (WINAPI* get)(LPWSTR, UINT), FilePath* result) {
  wchar_t buffer[kBufferLength];
  const UINT length = get(buffer, kBufferLength);
  if (length == 0 || length >= kBufferLength)
    return false;
  *result = FilePath(as_u16cstr(buffer));
  return true;
}

bool GetQuickLaunchChild(StringPiece16 name, FilePath* result) {
  FilePath quick_launch;
  if (!PathService::Get(DIR_USER_QUICK_LAUNCH, &quick_launch))
    return false;
  *result = quick_launch.Append(u"User Pinned").Append(name);
  return true;
}

}  // namespace

bool PathProvider(int key, FilePath* result) {
  switch (key) {
    case DIR_EXE:
      return GetParentOf(FILE_EXE, result);
    case DIR_MODULE:
      return GetParentOf(FILE_MODULE, result);
    case DIR_TEMP:
      return GetTempDir(result);
    case DIR_HOME:
      *result = GetHomeDir();
      return true;
    case DIR_TEST_DATA: {
      FilePath root;
      if (!PathService::Get(DIR_SOURCE_ROOT, &root))
        return false;
      const FilePath data = root.Append(u"base").Append(u"test").Append(u"data");
      if (!DirectoryExists(data))
        return false;
      *result = data;
      return true;
    }
    default:
      return false;
  }
}

bool PathProviderWin(int key, FilePath* result) {
  switch (key) {
    case FILE_EXE:
      return GetModulePath(nullptr, result);
    case FILE_MODULE:
      return GetModulePath(reinterpret_cast<HMODULE>(&__ImageBase), result);
    case DIR_SOURCE_ROOT: {
      FilePath exe_dir;
      if (!PathService::Get(DIR_EXE, &exe_dir))
        return false;
      *result = exe_dir.DirName().DirName();
      return true;
    }
    case DIR_USER_DESKTOP:
      return GetShellFolder(CSIDL_DESKTOPDIRECTORY, result);
    case DIR_WINDOWS:
      return GetSystemFolder(::GetWindowsDirectoryW, result);
    case DIR_SYSTEM:
      return GetSystemFolder(::GetSystemDirectoryW, result);
    case DIR_PROGRAM_FILES:
    case DIR_PROGRAM_FILES6432:
      return GetShellFolder(CSIDL_PROGRAM_FILES, result);
    case DIR_PROGRAM_FILESX86:
      return GetProgramFilesX86(result);
    case DIR_IE_INTERNET_CACHE:
      return GetShellFolder(CSIDL_INTERNET_CACHE, result);
    case DIR_COMMON_START_MENU:
      return GetShellFolder(CSIDL_COMMON_PROGRAMS, result);
    case DIR_START_MENU:
      return GetShellFolder(CSIDL_PROGRAMS, result);
    case DIR_APP_DATA:
      return GetShellFolder(CSIDL_APPDATA, result);
    case DIR_LOCAL_APP_DATA:
      return GetShellFolder(CSIDL_LOCAL_APPDATA, result);
    case DIR_COMMON_APP_DATA:
      return GetShellFolder(CSIDL_COMMON_APPDATA, result);
    case DIR_APP_SHORTCUTS:
      return GetAppShortcuts(result);
    case DIR_COMMON_DESKTOP:
      return GetShellFolder(CSIDL_COMMON_DESKTOPDIRECTORY, result);
    case DIR_USER_QUICK_LAUNCH: {
      FilePath app_data;
      if (!PathService::Get(DIR_APP_DATA, &app_data))
        return false;
      *result = app_data.Append(u"Microsoft")
                    .Append(u"Internet Explorer")
                    .Append(u"Quick Launch");
      return true;
    }
    case DIR_TASKBAR_PINS:
      return GetQuickLaunchChild(u"TaskBar", result);
    case DIR_IMPLICIT_APP_SHORTCUTS:
      return GetQuickLaunchChild(u"ImplicitAppShortcuts", result);
    case DIR_WINDOWS_FONTS:
      return GetShellFolder(CSIDL_FONTS, result);
    default:
      return false;
  }
}

}  // namespace base
