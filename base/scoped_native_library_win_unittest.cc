#include "base/scoped_native_library.h"

#include <string>

#include "base/strings/string16.h"
#include "gtest/gtest.h"

namespace base {

namespace {

std::wstring CurrentDirectory() {
  wchar_t buffer[MAX_PATH];
  const DWORD length = ::GetCurrentDirectoryW(MAX_PATH, buffer);
  return std::wstring(buffer, length);
}

FilePath SystemLibrary(const wchar_t* name) {
  wchar_t system[MAX_PATH];
  const UINT length = ::GetSystemDirectoryW(system, MAX_PATH);
  return FilePath(as_u16cstr(std::wstring(system, length).c_str()))
      .Append(as_u16cstr(name));
}

// The current directory the loader ran in.
std::wstring g_directory_at_load;

HMODULE WINAPI RecordingLoader(LPCWSTR path) {
  g_directory_at_load = CurrentDirectory();
  ::SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

class ScopedNativeLibraryTest : public testing::Test {
 protected:
  void SetUp() override { saved_ = CurrentDirectory(); }
  void TearDown() override { ::SetCurrentDirectoryW(saved_.c_str()); }

  std::wstring saved_;
};

TEST_F(ScopedNativeLibraryTest, LoadsAndFindsFunctions) {
  ScopedNativeLibrary library(SystemLibrary(L"version.dll"));
  ASSERT_TRUE(library.is_valid());
  EXPECT_TRUE(library.GetFunctionPointer("GetFileVersionInfoSizeW"));
  EXPECT_EQ(nullptr, library.GetFunctionPointer("NoSuchFunction"));

  ScopedNativeLibrary missing(SystemLibrary(L"no_such_library.dll"));
  EXPECT_FALSE(missing.is_valid());
  EXPECT_EQ(nullptr, missing.GetFunctionPointer("GetFileVersionInfoSizeW"));
}

TEST_F(ScopedNativeLibraryTest, SystemLibrariesComeFromTheSystemFolderOnly) {
  HMODULE version = LoadSystemLibrary(L"version.dll");
  EXPECT_TRUE(version);
  ::FreeLibrary(version);
  // The product library stands beside this executable (the handle
  // verifier tests load it from there by its bare name); and a name is
  // no path.
  EXPECT_EQ(nullptr, LoadSystemLibrary(L"palvo_installer.dll"));
  EXPECT_EQ(nullptr, LoadSystemLibrary(L"..\\system32\\version.dll"));
}

TEST_F(ScopedNativeLibraryTest, LoaderRunsInLibraryFolder) {
  wchar_t windows[MAX_PATH];
  const UINT length = ::GetWindowsDirectoryW(windows, MAX_PATH);
  const std::wstring windows_dir(windows, length);
  // Also from a drive's root, whose separator must survive the restore.
  const std::wstring root = windows_dir.substr(0, 3);
  for (const std::wstring& start : {windows_dir, root}) {
    ASSERT_TRUE(::SetCurrentDirectoryW(start.c_str()));
    const FilePath library = SystemLibrary(L"no_such_library.dll");
    EXPECT_EQ(nullptr, LoadNativeLibraryHelper(library, &RecordingLoader));
    EXPECT_EQ(as_wcstr(library.DirName().value()), g_directory_at_load);
    EXPECT_EQ(start, CurrentDirectory());
    // The loader's error reaches the caller.
    EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), ::GetLastError());
  }

  // A bare name has no folder of its own to move to.
  ASSERT_TRUE(::SetCurrentDirectoryW(windows_dir.c_str()));
  LoadNativeLibraryHelper(FilePath(u"no_such_library.dll"), &RecordingLoader);
  EXPECT_EQ(windows_dir, g_directory_at_load);
  // A folder that does not exist leaves the directory alone.
  LoadNativeLibraryHelper(FilePath(u"C:\\no\\such\\folder\\x.dll"),
                          &RecordingLoader);
  EXPECT_EQ(windows_dir, g_directory_at_load);
  EXPECT_EQ(windows_dir, CurrentDirectory());
}

}  // namespace

}  // namespace base
