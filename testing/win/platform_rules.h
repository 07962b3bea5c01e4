#ifndef TESTING_WIN_PLATFORM_RULES_H_
#define TESTING_WIN_PLATFORM_RULES_H_

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include <winternl.h>

// Native calls that the registry and file code imports and the SDK headers
// do not declare.
extern "C" {
LONG NTAPI NtQueryKey(HANDLE key, int information_class, PVOID information,
                      ULONG length, PULONG result_length);
LONG NTAPI NtDeleteKey(HANDLE key);
NTSTATUS NTAPI NtQueryDirectoryFile(HANDLE file, HANDLE event,
                                    PVOID apc_routine, PVOID apc_context,
                                    PIO_STATUS_BLOCK io_status,
                                    PVOID information, ULONG length,
                                    FILE_INFORMATION_CLASS kind,
                                    BOOLEAN single_entry,
                                    PUNICODE_STRING file_name,
                                    BOOLEAN restart_scan);
}

// Test-only: makes chosen Win32 calls of the test executable answer as
// Windows does where Wine is more lenient, or fail on demand. It works by
// pointing the executable's import slots at replacements, so it reaches
// every call the code under test makes through the import table, and none
// that system DLLs make among themselves. Never linked into the product.
namespace platform_rules {

// The system DLL's own entry |name|, which no hook reaches: for the rules'
// own calls, which must neither meet another rule nor an injected fault.
template <typename Function>
Function SystemEntry(const char* dll, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(
      ::GetProcAddress(::GetModuleHandleA(dll), name)));
}

// Points every import of |function| (by name, from any DLL) of the test
// executable, or of the loaded |module|, at |replacement| until destroyed.
// Hooks nest: destroy them in the reverse order of creation.
class ScopedImportHook {
 public:
  ScopedImportHook(const char* function, const void* replacement,
                   const wchar_t* module = nullptr);
  ~ScopedImportHook();
  ScopedImportHook(const ScopedImportHook&) = delete;
  ScopedImportHook& operator=(const ScopedImportHook&) = delete;

  // False when the executable does not import |function|.
  bool hooked() const { return !slots_.empty(); }

  // What the slots held before: the next hook down, or the system's entry.
  template <typename Function>
  Function original() const {
    return reinterpret_cast<Function>(original_);
  }

 private:
  std::vector<void**> slots_;
  void* original_ = nullptr;
};

// Counts the calls that the code under test makes to the file, registry
// and security functions listed in platform_rules.cc, and makes one of them
// fail: the |fail_at|-th counted call (1-based; 0 fails none) returns that
// function's failure with |error| (as its result for the registry and
// security functions, as the last error for the others). With |only| set,
// only calls of that function are counted. With |started| false, nothing
// is counted or failed until Start(): a sweep can reach the calls of one
// phase (a rollback, a commit) without counting those before it. One
// instance at a time.
class ScopedFaultInjection {
 public:
  // An |error| that stands for running out of resources, in the form the
  // failing function gives it: ERROR_NOT_ENOUGH_MEMORY as the result of a
  // registry or security function, ERROR_NO_SYSTEM_RESOURCES as the last
  // error of the others.
  static constexpr DWORD kOutOfResources = 0xFFFFFFFF;

  explicit ScopedFaultInjection(int fail_at = 0,
                                DWORD error = ERROR_ACCESS_DENIED,
                                const char* only = nullptr,
                                bool started = true);
  ~ScopedFaultInjection();
  ScopedFaultInjection(const ScopedFaultInjection&) = delete;
  ScopedFaultInjection& operator=(const ScopedFaultInjection&) = delete;

  // Starts counting from here, from zero.
  void Start();

  // Instead of failing the chosen call, runs |action| just before it (and
  // then the call): another program acting between two steps. What
  // |action| calls is not counted.
  void Interject(std::function<void()> action);

  // Also fails |count| calls of |function| from its |at|-th on, counted
  // apart from the others: a fault on top of the chosen one (or of what
  // |action| does), such as a retry's.
  void AlsoFail(const char* function, int at, int count = 1);

  // Counted calls so far.
  int calls() const;
  // The function whose call was made to fail, or empty when none was.
  std::string failed_function() const;
  // Names of the counted calls, in order: what a sweep prints on failure.
  const std::vector<std::string>& trace() const;

 private:
  std::vector<ScopedImportHook*> hooks_;
};

// While alive, renaming or moving a folder with MoveFileExW, MoveFileW or
// through its handle with NtSetInformationFile fails with
// ERROR_ACCESS_DENIED while anything below it is open, as on
// Windows (Wine renames it anyway): a file or folder handle of any access,
// attributes only included, or a search that the test executable opened
// while the rules were on; the process's current folder; a file that an
// open without sharing finds in use.
class ScopedWindowsFolderRenameRules {
 public:
  ScopedWindowsFolderRenameRules();
  ~ScopedWindowsFolderRenameRules();
  ScopedWindowsFolderRenameRules(const ScopedWindowsFolderRenameRules&) =
      delete;
  ScopedWindowsFolderRenameRules& operator=(
      const ScopedWindowsFolderRenameRules&) = delete;

  // Folder renames refused so far.
  int refused() const;

 private:
  ScopedImportHook move_ex_;
  ScopedImportHook move_;
  ScopedImportHook create_;
  ScopedImportHook close_;
  ScopedImportHook find_first_;
  ScopedImportHook find_first_ex_;
  ScopedImportHook find_close_;
  ScopedImportHook nt_set_;
};

// While alive, a handle opened with FILE_FLAG_OPEN_REPARSE_POINT on a link
// is the link's own, as on Windows: GetFileInformationByHandle shows
// FILE_ATTRIBUTE_REPARSE_POINT, attributes set through it with
// SetFileInformationByHandle leave what the link points to alone, and
// GetFinalPathNameByHandleW names the link itself (Wine opens what the link
// points to). The same for an entry opened as itself below a folder handle
// with NtCreateFile; setting its deletion through such a handle is refused
// (Windows deletes the link; Wine, holding the target, would delete that).
class ScopedWindowsLinkRules {
 public:
  ScopedWindowsLinkRules();
  ~ScopedWindowsLinkRules();
  ScopedWindowsLinkRules(const ScopedWindowsLinkRules&) = delete;
  ScopedWindowsLinkRules& operator=(const ScopedWindowsLinkRules&) = delete;

 private:
  ScopedImportHook create_;
  ScopedImportHook information_;
  ScopedImportHook set_information_;
  ScopedImportHook close_;
  ScopedImportHook final_path_;
  ScopedImportHook nt_create_;
  ScopedImportHook nt_set_;
};

// While alive, |folder| and everything below it stand for another volume:
// moving a folder into or out of it with MoveFileExW or MoveFileW fails
// with ERROR_NOT_SAME_DEVICE, as on Windows, and so does moving a file
// without MOVEFILE_COPY_ALLOWED (with it, the file moves), and renaming
// anything across with NtSetInformationFile (STATUS_NOT_SAME_DEVICE). With
// |files_by_copy|, a file moved across with MOVEFILE_COPY_ALLOWED is copied
// and its source deleted, as Windows does: the moved file is a new file
// (its other names stay with the old one). A source that cannot be deleted
// stays beside its copy, and the move succeeds, as on Windows.
class ScopedOtherVolume {
 public:
  explicit ScopedOtherVolume(const std::wstring& folder,
                             bool files_by_copy = false);
  ~ScopedOtherVolume();
  ScopedOtherVolume(const ScopedOtherVolume&) = delete;
  ScopedOtherVolume& operator=(const ScopedOtherVolume&) = delete;

 private:
  ScopedImportHook move_ex_;
  ScopedImportHook move_;
  ScopedImportHook nt_set_;
};

// While alive, a file or folder made anew by NtCreateFile, CreateDirectoryW
// or a move to another volume never shows, through
// GetFileInformationByHandle, the index of one seen before it, as on Windows
// (Wine hands a freed index to the next new file at once).
class ScopedWindowsFileIndexes {
 public:
  ScopedWindowsFileIndexes();
  ~ScopedWindowsFileIndexes();
  ScopedWindowsFileIndexes(const ScopedWindowsFileIndexes&) = delete;
  ScopedWindowsFileIndexes& operator=(const ScopedWindowsFileIndexes&) =
      delete;

 private:
  ScopedImportHook information_;
  ScopedImportHook nt_create_;
  ScopedImportHook folder_;
};

// While alive, a file's access list set with SetFileSecurityW,
// SetNamedSecurityInfoW or SetSecurityInfo is kept, with its protection
// from inheritance, and read back by GetFileSecurityW,
// GetNamedSecurityInfoW and GetSecurityInfo, as on Windows (Wine keeps no
// file's list: it makes one up from the Unix mode). A list stays with the
// file, whatever its name: renamed, or under another of its names. Files
// whose list was never set show what the system makes up. One instance at
// a time.
class ScopedWindowsFileAccessLists {
 public:
  ScopedWindowsFileAccessLists();
  ~ScopedWindowsFileAccessLists();
  ScopedWindowsFileAccessLists(const ScopedWindowsFileAccessLists&) = delete;
  ScopedWindowsFileAccessLists& operator=(
      const ScopedWindowsFileAccessLists&) = delete;

 private:
  ScopedImportHook set_file_;
  ScopedImportHook get_file_;
  ScopedImportHook set_named_;
  ScopedImportHook get_named_;
  ScopedImportHook set_handle_;
  ScopedImportHook get_handle_;
};

// The next ReplaceFileW call of the test executable fails as Windows can
// when the replacement cannot be renamed into place (for example because a
// scanner holds it), leaving the files as documented:
// - ERROR_UNABLE_TO_MOVE_REPLACEMENT (1176): without a backup name the
//   replaced file is gone; with one, both files keep their names. The
//   replacement keeps its own name.
// - ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 (1177): the replaced file has been
//   moved to the backup name, or without one to another name beside it;
//   the replacement keeps its own name.
// - any other error: nothing changes.
class ScopedReplaceFileFailure {
 public:
  explicit ScopedReplaceFileFailure(DWORD error);
  ~ScopedReplaceFileFailure();
  ScopedReplaceFileFailure(const ScopedReplaceFileFailure&) = delete;
  ScopedReplaceFileFailure& operator=(const ScopedReplaceFileFailure&) =
      delete;

  bool used() const;

 private:
  ScopedImportHook hook_;
};

}  // namespace platform_rules

#endif  // TESTING_WIN_PLATFORM_RULES_H_
