#ifndef BASE_FILES_TEST_FOLDER_WIN_H_
#define BASE_FILES_TEST_FOLDER_WIN_H_

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/files/file_enumerator.h"
#include "base/files/file_path.h"
#include "base/files/file_util.h"
#include "gtest/gtest.h"

namespace base {

// A fresh folder in the temporary folder for one test, removed with its
// contents at the end.
class TestFolder {
 public:
  TestFolder() {
    static int counter = 0;
    FilePath temp;
    EXPECT_TRUE(GetTempDir(&temp));
    // Always a folder that did not exist: one left behind by an earlier
    // process with the same id (ids are reused) may hold files that cannot
    // be removed yet, and must not be mistaken for this test's.
    for (int attempt = 0; attempt < 1000; ++attempt) {
      path_ = temp.AppendASCII("palvo_test_" +
                               std::to_string(::GetCurrentProcessId()) + "_" +
                               std::to_string(++counter));
      if (::CreateDirectoryW(as_wcstr(path_.value()), nullptr))
        return;
    }
    ADD_FAILURE() << "No fresh test folder in " << temp.AsUTF8Unsafe();
  }
  ~TestFolder() { DeleteFile(path_, true); }
  TestFolder(const TestFolder&) = delete;
  TestFolder& operator=(const TestFolder&) = delete;

  const FilePath& path() const { return path_; }

 private:
  FilePath path_;
};

// The key, relative to HKEY_CURRENT_USER, under which this test process
// keeps its scratch keys. It is the process's own, directly below
// "Software", so that no other process ever deletes it: the registry makes a
// multi-level key one level at a time, and a parent deleted by someone else
// in between fails the creation. Removed with its contents when the process
// ends.
inline const std::wstring& TestRegistryParent() {
  class Parent {
   public:
    Parent()
        : path_(L"Software\\PalvoTest_" +
                std::to_wstring(::GetCurrentProcessId()) + L"_" +
                std::to_wstring(::GetTickCount64())) {}
    ~Parent() {
      ::RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
      ::RegDeleteKeyW(HKEY_CURRENT_USER, path_.c_str());
    }
    const std::wstring& path() const { return path_; }

   private:
    const std::wstring path_;
  };
  static const Parent parent;
  return parent.path();
}

// |folder| and every entry below it, by path relative to |folder|, with the
// attributes tests set (read-only, hidden, system, folder) and a file's
// contents, in name order: what a rollback must give back whole.
inline std::string DescribeTree(const FilePath& folder) {
  constexpr DWORD kShown = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                           FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY;
  std::vector<std::string> lines = {
      ". " +
      std::to_string(::GetFileAttributesW(as_wcstr(folder.value())) & kShown)};
  FileEnumerator entries(folder, true,
                         FileEnumerator::FILES | FileEnumerator::DIRECTORIES);
  for (FilePath entry = entries.Next(); !entry.empty(); entry = entries.Next()) {
    FilePath relative;
    folder.AppendRelativePath(entry, &relative);
    const DWORD attributes =
        entries.GetInfo().find_data().dwFileAttributes & kShown;
    std::string contents;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
      ReadFileToString(entry, &contents);
    lines.push_back(relative.AsUTF8Unsafe() + " " +
                    std::to_string(attributes) + " " + contents);
  }
  std::sort(lines.begin(), lines.end());
  std::string tree;
  for (const std::string& line : lines)
    tree += line + "\n";
  return tree;
}

inline bool IsRunningUnderWine() {
  HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return ntdll && ::GetProcAddress(ntdll, "wine_get_version");
}

inline bool IsLink(const FilePath& path) {
  const DWORD attributes = ::GetFileAttributesW(as_wcstr(path.value()));
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// The Unix path of |path| under Wine, widened.
inline std::wstring UnixPath(const FilePath& path) {
  typedef char*(__cdecl * UnixNameFunc)(const wchar_t*);
  // Through void(*)() so that the compiler accepts the change of type.
  const UnixNameFunc unix_name =
      reinterpret_cast<UnixNameFunc>(reinterpret_cast<void (*)()>(
          ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"),
                           "wine_get_unix_file_name")));
  std::wstring result;
  char* name = unix_name ? unix_name(as_wcstr(path.value())) : nullptr;
  for (const char* p = name; p && *p; ++p)
    result += static_cast<wchar_t>(*p);
  if (name)
    ::HeapFree(::GetProcessHeap(), 0, name);
  return result;
}

// Runs a Unix tool under Wine and waits (at most ten seconds) until
// |done| holds: a Unix process cannot be waited for through its handle.
template <typename Predicate>
bool RunUnixTool(const wchar_t* tool, std::wstring command, Predicate done) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!::CreateProcessW(tool, &command[0], nullptr, nullptr, FALSE, 0,
                        nullptr, nullptr, &startup, &process)) {
    return false;
  }
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  for (int i = 0; i < 200 && !done(); ++i)
    ::Sleep(50);
  return done();
}

// Makes |link| a symbolic link to the folder |target|. Wine's
// CreateSymbolicLinkW reports success without making a link, but a Unix
// symbolic link shows as a reparse point there, so under Wine the link is
// made by the system's ln. False when neither way works.
inline bool MakeFolderLink(const FilePath& link, const FilePath& target) {
  if (::CreateSymbolicLinkW(as_wcstr(link.value()), as_wcstr(target.value()),
                            SYMBOLIC_LINK_FLAG_DIRECTORY) &&
      IsLink(link)) {
    return true;
  }
  if (!IsRunningUnderWine())
    return false;
  return RunUnixTool(L"Z:\\bin\\ln",
                     L"/bin/ln -s " + UnixPath(target) + L" " + UnixPath(link),
                     [&link] { return IsLink(link); });
}

// Wine cannot remove a Unix link to a folder: RemoveDirectoryW fails (with
// error 0) and DeleteFileW gives ERROR_DIR_NOT_EMPTY. The test's clean-up
// removes it with the system's rm.
inline void RemoveLinkUnderWine(const FilePath& link) {
  if (IsRunningUnderWine() && IsLink(link)) {
    RunUnixTool(L"Z:\\bin\\rm", L"/bin/rm " + UnixPath(link),
                [&link] { return !IsLink(link); });
  }
}

}  // namespace base

#endif  // BASE_FILES_TEST_FOLDER_WIN_H_
