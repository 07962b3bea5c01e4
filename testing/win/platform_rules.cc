#include "testing/win/platform_rules.h"

#include <aclapi.h>

#include <wchar.h>

#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <tuple>
#include <type_traits>

namespace platform_rules {

namespace {

// The system's own entries, for the rules' own calls.
struct SystemCalls {
  decltype(&::CreateFileW) create_file =
      SystemEntry<decltype(&::CreateFileW)>("kernel32.dll",
                                            "CreateFileW");
  decltype(&::FindFirstFileW) find_first =
      SystemEntry<decltype(&::FindFirstFileW)>("kernel32.dll",
                                               "FindFirstFileW");
  decltype(&::FindNextFileW) find_next =
      SystemEntry<decltype(&::FindNextFileW)>("kernel32.dll",
                                              "FindNextFileW");
  decltype(&::GetFileAttributesW) get_attributes =
      SystemEntry<decltype(&::GetFileAttributesW)>("kernel32.dll",
                                                   "GetFileAttributesW");
  decltype(&::SetFileAttributesW) set_attributes =
      SystemEntry<decltype(&::SetFileAttributesW)>("kernel32.dll",
                                                   "SetFileAttributesW");
  decltype(&::DeleteFileW) delete_file =
      SystemEntry<decltype(&::DeleteFileW)>("kernel32.dll",
                                            "DeleteFileW");
  decltype(&::MoveFileExW) move_file =
      SystemEntry<decltype(&::MoveFileExW)>("kernel32.dll",
                                            "MoveFileExW");
  decltype(&::FindClose) find_close =
      SystemEntry<decltype(&::FindClose)>("kernel32.dll", "FindClose");
  decltype(&::GetFinalPathNameByHandleW) final_path =
      SystemEntry<decltype(&::GetFinalPathNameByHandleW)>(
          "kernel32.dll", "GetFinalPathNameByHandleW");
};

const SystemCalls& Sys() {
  static const SystemCalls calls;
  return calls;
}

// --- Import table patching ---------------------------------------------

template <typename T>
T* At(BYTE* base, DWORD rva) {
  return reinterpret_cast<T*>(base + rva);
}

std::vector<void**> FindImportSlots(const char* function, const wchar_t* module) {
  std::vector<void**> slots;
  BYTE* base = reinterpret_cast<BYTE*>(::GetModuleHandleW(module));
  auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
  auto* nt = At<IMAGE_NT_HEADERS>(base, dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& dir =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (!dir.VirtualAddress)
    return slots;
  for (auto* desc = At<IMAGE_IMPORT_DESCRIPTOR>(base, dir.VirtualAddress);
       desc->Name; ++desc) {
    if (!desc->OriginalFirstThunk)
      continue;  // no names to match against
    auto* names = At<IMAGE_THUNK_DATA>(base, desc->OriginalFirstThunk);
    auto* addresses = At<IMAGE_THUNK_DATA>(base, desc->FirstThunk);
    for (; names->u1.AddressOfData; ++names, ++addresses) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
        continue;
      auto* by_name = At<IMAGE_IMPORT_BY_NAME>(
          base, static_cast<DWORD>(names->u1.AddressOfData));
      if (std::strcmp(reinterpret_cast<const char*>(by_name->Name),
                      function) == 0) {
        slots.push_back(reinterpret_cast<void**>(&addresses->u1.Function));
      }
    }
  }
  return slots;
}

void WriteSlot(void** slot, void* value) {
  DWORD old_protection;
  ::VirtualProtect(slot, sizeof(*slot), PAGE_READWRITE, &old_protection);
  *slot = value;
  ::VirtualProtect(slot, sizeof(*slot), old_protection, &old_protection);
}

// --- Fault injection ----------------------------------------------------

// How a function reports failure.
enum FailureKind {
  FALSE_AND_LAST_ERROR,
  INVALID_HANDLE_AND_LAST_ERROR,
  INVALID_ATTRIBUTES_AND_LAST_ERROR,
  ERROR_AS_RESULT,
  NTSTATUS_AS_RESULT,
};

struct InjectionState {
  std::mutex lock;
  bool active = false;
  int fail_at = 0;
  DWORD error = 0;
  std::string only;
  int calls = 0;
  std::string failed;
  std::vector<std::string> trace;
  // Run instead of failing the chosen call; once.
  std::function<void()> interjection;
  // A second fault: calls of |also| numbered from |also_from| up to
  // |also_to| (exclusive), counted on their own.
  std::string also;
  int also_calls = 0, also_from = 0, also_to = 0;
};

InjectionState& Injection() {
  static InjectionState* state = new InjectionState;
  return *state;
}

// True when this call of |name| is the one to fail. When an interjection
// stands in for the failure, it runs here, uncounted, and the call goes on.
bool CountCall(const char* name, DWORD* error) {
  InjectionState& s = Injection();
  std::function<void()> interjection;
  {
    std::lock_guard<std::mutex> hold(s.lock);
    if (s.active && s.also == name && ++s.also_calls >= s.also_from &&
        s.also_calls < s.also_to) {
      *error = s.error;
      return true;
    }
    if (!s.active || (!s.only.empty() && s.only != name))
      return false;
    s.trace.push_back(name);
    if (++s.calls != s.fail_at)
      return false;
    s.failed = name;
    *error = s.error;
    if (!s.interjection)
      return true;
    interjection.swap(s.interjection);
    s.active = false;
  }
  interjection();
  std::lock_guard<std::mutex> hold(s.lock);
  s.active = true;
  return false;
}

template <typename R>
R Failure(FailureKind kind, DWORD error) {
  if (error == ScopedFaultInjection::kOutOfResources) {
    error = kind == ERROR_AS_RESULT ? ERROR_NOT_ENOUGH_MEMORY
                                    : ERROR_NO_SYSTEM_RESOURCES;
  }
  if constexpr (std::is_pointer<R>::value) {
    ::SetLastError(error);
    return INVALID_HANDLE_VALUE;
  } else {
    if (kind == ERROR_AS_RESULT)
      return static_cast<R>(error);
    if (kind == NTSTATUS_AS_RESULT) {
      // STATUS_ACCESS_DENIED, STATUS_INSUFFICIENT_RESOURCES
      return static_cast<R>(error == ERROR_ACCESS_DENIED ? 0xC0000022
                                                         : 0xC000009A);
    }
    ::SetLastError(error);
    return kind == INVALID_ATTRIBUTES_AND_LAST_ERROR
               ? static_cast<R>(INVALID_FILE_ATTRIBUTES)
               : static_cast<R>(FALSE);
  }
}

struct Entry {
  const char* name;
  FailureKind kind;
  void* wrapper;
  void* original;  // what the wrapper calls on; set while hooked
};

Entry* Entries();

template <size_t I, typename R, typename... A>
struct Wrapper {
  static R WINAPI Call(A... args) {
    Entry& entry = Entries()[I];
    DWORD error;
    if (CountCall(entry.name, &error))
      return Failure<R>(entry.kind, error);
    return reinterpret_cast<R(WINAPI*)(A...)>(entry.original)(args...);
  }
};

template <size_t I, typename R, typename... A>
void* WrapperFor(R(WINAPI*)(A...)) {
  return reinterpret_cast<void*>(&Wrapper<I, R, A...>::Call);
}

#define PLATFORM_RULES_FUNCTIONS(X)                                  \
  X(CreateFileW, INVALID_HANDLE_AND_LAST_ERROR)                      \
  X(OpenFileById, INVALID_HANDLE_AND_LAST_ERROR)                     \
  X(ReadFile, FALSE_AND_LAST_ERROR)                                  \
  X(WriteFile, FALSE_AND_LAST_ERROR)                                 \
  X(FlushFileBuffers, FALSE_AND_LAST_ERROR)                          \
  X(GetFileInformationByHandle, FALSE_AND_LAST_ERROR)                \
  X(GetFileAttributesW, INVALID_ATTRIBUTES_AND_LAST_ERROR)           \
  X(GetFileAttributesExW, FALSE_AND_LAST_ERROR)                      \
  X(SetFileAttributesW, FALSE_AND_LAST_ERROR)                        \
  X(SetFileInformationByHandle, FALSE_AND_LAST_ERROR)                \
  X(CreateDirectoryW, FALSE_AND_LAST_ERROR)                          \
  X(RemoveDirectoryW, FALSE_AND_LAST_ERROR)                          \
  X(DeleteFileW, FALSE_AND_LAST_ERROR)                               \
  X(CopyFileW, FALSE_AND_LAST_ERROR)                                 \
  X(MoveFileW, FALSE_AND_LAST_ERROR)                                 \
  X(MoveFileExW, FALSE_AND_LAST_ERROR)                               \
  X(ReplaceFileW, FALSE_AND_LAST_ERROR)                              \
  X(FindFirstFileW, INVALID_HANDLE_AND_LAST_ERROR)                   \
  X(FindFirstFileExW, INVALID_HANDLE_AND_LAST_ERROR)                 \
  X(FindNextFileW, FALSE_AND_LAST_ERROR)                             \
  X(RegCreateKeyExW, ERROR_AS_RESULT)                                \
  X(RegOpenKeyExW, ERROR_AS_RESULT)                                  \
  X(RegSetValueExW, ERROR_AS_RESULT)                                 \
  X(RegQueryValueExW, ERROR_AS_RESULT)                               \
  X(RegDeleteValueW, ERROR_AS_RESULT)                                \
  X(RegDeleteKeyW, ERROR_AS_RESULT)                                  \
  X(RegDeleteKeyExW, ERROR_AS_RESULT)                                \
  X(RegEnumKeyExW, ERROR_AS_RESULT)                                  \
  X(RegEnumValueW, ERROR_AS_RESULT)                                  \
  X(RegQueryInfoKeyW, ERROR_AS_RESULT)                               \
  X(RegGetKeySecurity, ERROR_AS_RESULT)                              \
  X(RegSetKeySecurity, ERROR_AS_RESULT)                              \
  X(GetNamedSecurityInfoW, ERROR_AS_RESULT)                          \
  X(SetNamedSecurityInfoW, ERROR_AS_RESULT)                          \
  X(GetSecurityInfo, ERROR_AS_RESULT)                                \
  X(SetSecurityInfo, ERROR_AS_RESULT)                                \
  X(SetEntriesInAclW, ERROR_AS_RESULT)                               \
  X(NtQueryKey, NTSTATUS_AS_RESULT)                                  \
  X(NtDeleteKey, NTSTATUS_AS_RESULT)                                 \
  X(NtCreateFile, NTSTATUS_AS_RESULT)                                \
  X(NtQueryDirectoryFile, NTSTATUS_AS_RESULT)                        \
  X(NtSetInformationFile, NTSTATUS_AS_RESULT)

enum EntryIndex {
#define PLATFORM_RULES_INDEX(name, kind) k##name,
  PLATFORM_RULES_FUNCTIONS(PLATFORM_RULES_INDEX)
#undef PLATFORM_RULES_INDEX
      kEntryCount
};

Entry* Entries() {
  static Entry entries[] = {
#define PLATFORM_RULES_ENTRY(name, kind) \
  {#name, kind, WrapperFor<k##name>(&::name), nullptr},
      PLATFORM_RULES_FUNCTIONS(PLATFORM_RULES_ENTRY)
#undef PLATFORM_RULES_ENTRY
  };
  return entries;
}

// --- Folder renames -----------------------------------------------------

int g_refused_renames = 0;

bool IsFolder(const wchar_t* path) {
  const DWORD attributes = Sys().get_attributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
         !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// The final path of what |handle| is open on; empty when unknown.
std::wstring FinalPath(HANDLE handle) {
  wchar_t buffer[MAX_PATH * 2];
  const DWORD length =
      Sys().final_path(handle, buffer, MAX_PATH * 2, FILE_NAME_NORMALIZED);
  return length && length < MAX_PATH * 2 ? std::wstring(buffer)
                                         : std::wstring();
}

std::wstring FinalPathOf(const wchar_t* path) {
  HANDLE handle = Sys().create_file(
      path, FILE_READ_ATTRIBUTES,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE)
    return std::wstring();
  std::wstring final_path = FinalPath(handle);
  ::CloseHandle(handle);
  return final_path;
}

// Whether |path| lies below |folder| (and is |folder| too, with |or_same|).
bool IsBelow(const std::wstring& path, const std::wstring& folder,
             bool or_same) {
  return !folder.empty() && path.size() >= folder.size() &&
         _wcsnicmp(path.c_str(), folder.c_str(), folder.size()) == 0 &&
         (path.size() == folder.size() ? or_same
                                       : path[folder.size()] == L'\\');
}

// The handles the test executable opened while the rename rules were on,
// by way of CreateFileW, and the folders its open searches list: Windows
// refuses to rename a folder above any of them.
struct OpenHandles {
  std::mutex lock;
  std::set<HANDLE> files;
  std::map<HANDLE, std::wstring> searches;
};

OpenHandles* g_open_handles = nullptr;
ScopedImportHook* g_rename_hooks[5] = {};

enum RenameHook { kRenameCreate, kRenameClose, kRenameFindFirst,
                  kRenameFindFirstEx, kRenameFindClose };

template <typename Function>
Function RenameNext(RenameHook hook) {
  return g_rename_hooks[hook]->original<Function>();
}

HANDLE WINAPI TrackedCreateFileW(LPCWSTR name, DWORD access, DWORD share,
                                 LPSECURITY_ATTRIBUTES security,
                                 DWORD disposition, DWORD flags,
                                 HANDLE template_file) {
  HANDLE handle = RenameNext<decltype(&::CreateFileW)>(kRenameCreate)(
      name, access, share, security, disposition, flags, template_file);
  if (handle != INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    std::lock_guard<std::mutex> hold(g_open_handles->lock);
    g_open_handles->files.insert(handle);
    ::SetLastError(error);
  }
  return handle;
}

BOOL WINAPI TrackedCloseHandle(HANDLE handle) {
  {
    std::lock_guard<std::mutex> hold(g_open_handles->lock);
    g_open_handles->files.erase(handle);
  }
  return RenameNext<decltype(&::CloseHandle)>(kRenameClose)(handle);
}

// The folder a search of |pattern| lists.
void TrackSearch(HANDLE find, LPCWSTR pattern) {
  if (find == INVALID_HANDLE_VALUE || !pattern)
    return;
  const DWORD error = ::GetLastError();
  std::wstring folder = pattern;
  const size_t slash = folder.find_last_of(L"\\/");
  folder = FinalPathOf(slash == std::wstring::npos
                           ? L"."
                           : folder.substr(0, slash).c_str());
  {
    std::lock_guard<std::mutex> hold(g_open_handles->lock);
    g_open_handles->searches[find] = folder;
  }
  ::SetLastError(error);
}

HANDLE WINAPI TrackedFindFirstFileW(LPCWSTR pattern, LPWIN32_FIND_DATAW data) {
  HANDLE find = RenameNext<decltype(&::FindFirstFileW)>(kRenameFindFirst)(
      pattern, data);
  TrackSearch(find, pattern);
  return find;
}

HANDLE WINAPI TrackedFindFirstFileExW(LPCWSTR pattern,
                                      FINDEX_INFO_LEVELS level,
                                      LPVOID data,
                                      FINDEX_SEARCH_OPS search,
                                      LPVOID filter,
                                      DWORD flags) {
  HANDLE find = RenameNext<decltype(&::FindFirstFileExW)>(kRenameFindFirstEx)(
      pattern, level, data, search, filter, flags);
  TrackSearch(find, pattern);
  return find;
}

BOOL WINAPI TrackedFindClose(HANDLE find) {
  {
    std::lock_guard<std::mutex> hold(g_open_handles->lock);
    g_open_handles->searches.erase(find);
  }
  return RenameNext<decltype(&::FindClose)>(kRenameFindClose)(find);
}

// True when a file anywhere below |folder| is open in a way that a probe
// without sharing meets: what a handle opened before the rules began shows.
bool HoldsOpenFile(const std::wstring& folder) {
  WIN32_FIND_DATAW data;
  HANDLE find = Sys().find_first((folder + L"\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE)
    return false;
  bool open = false;
  do {
    const std::wstring name = data.cFileName;
    if (name == L"." || name == L"..")
      continue;
    const std::wstring path = folder + L"\\" + name;
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
        !(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      open = HoldsOpenFile(path);
      continue;
    }
    HANDLE file = Sys().create_file(path.c_str(), GENERIC_READ, 0, nullptr,
                                    OPEN_EXISTING,
                                    FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file != INVALID_HANDLE_VALUE)
      ::CloseHandle(file);
    else
      open = ::GetLastError() == ERROR_SHARING_VIOLATION;
  } while (!open && Sys().find_next(find, &data));
  Sys().find_close(find);
  return open;
}

// True when anything below |folder| is open: a tracked handle of any
// access (attributes only, a folder's own), a search, the process's
// current folder (or |folder| itself as that), or a file a probe finds
// open.
bool HoldsAnythingOpen(const wchar_t* folder) {
  const std::wstring final_folder = FinalPathOf(folder);
  if (IsBelow(FinalPathOf(L"."), final_folder, true))
    return true;
  {
    std::lock_guard<std::mutex> hold(g_open_handles->lock);
    for (HANDLE handle : g_open_handles->files) {
      if (IsBelow(FinalPath(handle), final_folder, false))
        return true;
    }
    for (const auto& search : g_open_handles->searches) {
      if (IsBelow(search.second, final_folder, true))
        return true;
    }
  }
  return HoldsOpenFile(folder);
}

bool RefuseFolderRename(const wchar_t* from) {
  if (!from || !IsFolder(from) || !HoldsAnythingOpen(from))
    return false;
  ++g_refused_renames;
  ::SetLastError(ERROR_ACCESS_DENIED);
  return true;
}

ScopedImportHook* g_move_ex_hook = nullptr;
ScopedImportHook* g_move_hook = nullptr;

BOOL WINAPI RuledMoveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags) {
  if (RefuseFolderRename(from))
    return FALSE;
  return g_move_ex_hook->original<decltype(&::MoveFileExW)>()(from, to, flags);
}

BOOL WINAPI RuledMoveFileW(LPCWSTR from, LPCWSTR to) {
  if (RefuseFolderRename(from))
    return FALSE;
  return g_move_hook->original<decltype(&::MoveFileW)>()(from, to);
}

// --- Another volume ----------------------------------------------------

std::wstring* g_other_volume = nullptr;
ScopedImportHook* g_volume_move_ex_hook = nullptr;
ScopedImportHook* g_volume_move_hook = nullptr;
bool g_volume_files_by_copy = false;

std::wstring FullPath(const wchar_t* path) {
  wchar_t buffer[MAX_PATH * 2];
  const DWORD length =
      ::GetFullPathNameW(path, MAX_PATH * 2, buffer, nullptr);
  return length && length < MAX_PATH * 2 ? std::wstring(buffer)
                                         : std::wstring();
}

// A move between the other volume and the rest that the system cannot
// make as a rename: a folder's, or a file's without MOVEFILE_COPY_ALLOWED.
bool RefuseMoveAcrossVolumes(LPCWSTR from, LPCWSTR to, DWORD flags) {
  if (!from || !to || !g_other_volume)
    return false;
  if (IsBelow(FullPath(from), *g_other_volume, true) ==
      IsBelow(FullPath(to), *g_other_volume, true)) {
    return false;
  }
  const DWORD attributes = Sys().get_attributes(from);
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      (!(attributes & FILE_ATTRIBUTE_DIRECTORY) &&
       (flags & MOVEFILE_COPY_ALLOWED))) {
    return false;
  }
  ::SetLastError(ERROR_NOT_SAME_DEVICE);
  return true;
}

void MadeAnewAt(LPCWSTR path);

// A file moved across volumes with MOVEFILE_COPY_ALLOWED, as Windows does
// it: copied, then its source deleted. A source that cannot be deleted (held
// open without delete sharing) stays beside its copy, and the move succeeds.
bool MoveFileByCopy(LPCWSTR from, LPCWSTR to, DWORD flags, BOOL* result) {
  if (!g_volume_files_by_copy || !from || !to || !g_other_volume ||
      !(flags & MOVEFILE_COPY_ALLOWED) ||
      IsBelow(FullPath(from), *g_other_volume, true) ==
          IsBelow(FullPath(to), *g_other_volume, true)) {
    return false;
  }
  const DWORD attributes = Sys().get_attributes(from);
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return false;
  }
  static const auto copy =
      platform_rules::SystemEntry<decltype(&::CopyFileW)>("kernel32.dll",
                                                          "CopyFileW");
  static const auto remove =
      platform_rules::SystemEntry<decltype(&::DeleteFileW)>("kernel32.dll",
                                                            "DeleteFileW");
  *result = FALSE;
  if (!copy(from, to, !(flags & MOVEFILE_REPLACE_EXISTING)))
    return true;
  MadeAnewAt(to);
  remove(from);
  *result = TRUE;
  return true;
}

BOOL WINAPI VolumeMoveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags) {
  if (RefuseMoveAcrossVolumes(from, to, flags))
    return FALSE;
  BOOL by_copy = FALSE;
  if (MoveFileByCopy(from, to, flags, &by_copy))
    return by_copy;
  return g_volume_move_ex_hook->original<decltype(&::MoveFileExW)>()(
      from, to, flags);
}

BOOL WINAPI VolumeMoveFileW(LPCWSTR from, LPCWSTR to) {
  if (RefuseMoveAcrossVolumes(from, to, MOVEFILE_COPY_ALLOWED))
    return FALSE;
  return g_volume_move_hook->original<decltype(&::MoveFileW)>()(from, to);
}

// --- Links ---------------------------------------------------------------

ScopedImportHook* g_link_create_hook = nullptr;
ScopedImportHook* g_link_information_hook = nullptr;
ScopedImportHook* g_link_close_hook = nullptr;
ScopedImportHook* g_link_final_path_hook = nullptr;
// The links' own handles, with the final path Windows gives each: that of
// the link itself.
std::map<HANDLE, std::wstring>* g_link_handles = nullptr;

std::wstring LinkFinalPath(LPCWSTR name) {
  wchar_t full[MAX_PATH * 2];
  const DWORD length = ::GetFullPathNameW(name, MAX_PATH * 2, full, nullptr);
  if (!length || length >= MAX_PATH * 2)
    return std::wstring();
  const std::wstring path(full);
  const size_t leaf = path.find_last_of(L'\\');
  const std::wstring folder =
      leaf == std::wstring::npos ? std::wstring()
                                 : FinalPathOf(path.substr(0, leaf).c_str());
  return folder.empty() ? std::wstring() : folder + path.substr(leaf);
}

HANDLE WINAPI RuledCreateFileW(LPCWSTR name,
                               DWORD access,
                               DWORD share,
                               LPSECURITY_ATTRIBUTES security,
                               DWORD disposition,
                               DWORD flags,
                               HANDLE template_file) {
  const DWORD attributes =
      name ? Sys().get_attributes(name) : INVALID_FILE_ATTRIBUTES;
  HANDLE handle = g_link_create_hook->original<decltype(&::CreateFileW)>()(
      name, access, share, security, disposition, flags, template_file);
  if (g_link_handles && handle != INVALID_HANDLE_VALUE &&
      (flags & FILE_FLAG_OPEN_REPARSE_POINT) &&
      attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    (*g_link_handles)[handle] = LinkFinalPath(name);
  }
  return handle;
}

BOOL WINAPI RuledGetFileInformationByHandle(
    HANDLE handle,
    LPBY_HANDLE_FILE_INFORMATION information) {
  if (!g_link_information_hook
           ->original<decltype(&::GetFileInformationByHandle)>()(handle,
                                                                 information)) {
    return FALSE;
  }
  if (g_link_handles && g_link_handles->count(handle))
    information->dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
  return TRUE;
}

ScopedImportHook* g_link_set_information_hook = nullptr;

// Attributes set through a link's own handle are the link's: what it points
// to keeps its own (Wine, holding the target, would change that).
BOOL WINAPI RuledSetFileInformationByHandle(HANDLE handle,
                                            FILE_INFO_BY_HANDLE_CLASS kind,
                                            LPVOID information,
                                            DWORD size) {
  if (g_link_handles && g_link_handles->count(handle) &&
      kind == FileBasicInfo) {
    return TRUE;
  }
  return g_link_set_information_hook
      ->original<decltype(&::SetFileInformationByHandle)>()(handle, kind,
                                                            information, size);
}

DWORD WINAPI RuledGetFinalPathNameByHandleW(HANDLE handle,
                                            LPWSTR path,
                                            DWORD size,
                                            DWORD flags) {
  std::wstring own;
  if (g_link_handles && g_link_handles->count(handle))
    own = (*g_link_handles)[handle];
  if (own.empty() ||
      (flags & (VOLUME_NAME_GUID | VOLUME_NAME_NT | VOLUME_NAME_NONE))) {
    return g_link_final_path_hook
        ->original<decltype(&::GetFinalPathNameByHandleW)>()(handle, path,
                                                             size, flags);
  }
  if (size <= own.size())
    return static_cast<DWORD>(own.size() + 1);
  wcscpy(path, own.c_str());
  return static_cast<DWORD>(own.size());
}

ScopedImportHook* g_link_nt_create_hook = nullptr;
ScopedImportHook* g_link_nt_set_hook = nullptr;

// An entry opened as itself below a folder handle: a link's handle is the
// link's own, as with CreateFileW above.
NTSTATUS NTAPI RuledNtCreateFile(PHANDLE handle, ACCESS_MASK access,
                                 POBJECT_ATTRIBUTES object,
                                 PIO_STATUS_BLOCK io, PLARGE_INTEGER size,
                                 ULONG attributes, ULONG share,
                                 ULONG disposition, ULONG options, PVOID ea,
                                 ULONG ea_length) {
  std::wstring path;
  if (object && object->RootDirectory && object->ObjectName &&
      (options & FILE_OPEN_REPARSE_POINT)) {
    path = FinalPath(object->RootDirectory);
    if (path.compare(0, 4, L"\\\\?\\") == 0)
      path.erase(0, 4);
    path += L"\\" + std::wstring(object->ObjectName->Buffer,
                                 object->ObjectName->Length / sizeof(wchar_t));
  }
  const DWORD seen =
      path.empty() ? INVALID_FILE_ATTRIBUTES : Sys().get_attributes(path.c_str());
  const NTSTATUS status =
      g_link_nt_create_hook->original<decltype(&::NtCreateFile)>()(
          handle, access, object, io, size, attributes, share, disposition,
          options, ea, ea_length);
  if (g_link_handles && status >= 0 && seen != INVALID_FILE_ATTRIBUTES &&
      (seen & FILE_ATTRIBUTE_REPARSE_POINT)) {
    (*g_link_handles)[*handle] = path;
  }
  return status;
}

// Attributes set through a link's own handle are the link's; its deletion
// is refused here, where Windows would delete the link itself and Wine, holding what it points to,
// would delete that.
NTSTATUS NTAPI RuledNtSetInformationFile(HANDLE handle, PIO_STATUS_BLOCK io,
                                         PVOID data, ULONG length,
                                         FILE_INFORMATION_CLASS kind) {
  if (g_link_handles && g_link_handles->count(handle)) {
    if (kind == static_cast<FILE_INFORMATION_CLASS>(4))  // basic
      return 0;
    if (kind == FileDispositionInformation)
      return static_cast<NTSTATUS>(0xC00000BB);  // STATUS_NOT_SUPPORTED
  }
  return g_link_nt_set_hook->original<decltype(&::NtSetInformationFile)>()(
      handle, io, data, length, kind);
}

BOOL WINAPI RuledCloseHandle(HANDLE handle) {
  if (g_link_handles)
    g_link_handles->erase(handle);
  return g_link_close_hook->original<decltype(&::CloseHandle)>()(handle);
}

// --- Renames through a handle ---------------------------------------------

constexpr auto kRenameInformation = static_cast<FILE_INFORMATION_CLASS>(10);

// Where a rename with |data| into a folder handle puts the entry, as a final
// path; empty when unknown.
std::wstring RenameTarget(PVOID data) {
  const auto* rename = static_cast<const FILE_RENAME_INFORMATION*>(data);
  const std::wstring folder =
      rename->RootDirectory ? FinalPath(rename->RootDirectory) : L"";
  return folder.empty() ? folder
                        : folder + L"\\" +
                              std::wstring(rename->FileName,
                                           rename->FileNameLength / 2);
}

ScopedImportHook* g_rename_nt_set_hook = nullptr;

// A folder renamed through its handle, refused as MoveFileExW is above.
NTSTATUS NTAPI FolderRenameNtSetInformationFile(HANDLE handle, PIO_STATUS_BLOCK io,
                                         PVOID data, ULONG length,
                                         FILE_INFORMATION_CLASS kind) {
  if (kind == kRenameInformation &&
      RefuseFolderRename(FinalPath(handle).c_str())) {
    return static_cast<NTSTATUS>(0xC0000022);  // STATUS_ACCESS_DENIED
  }
  return g_rename_nt_set_hook->original<decltype(&::NtSetInformationFile)>()(
      handle, io, data, length, kind);
}

ScopedImportHook* g_volume_nt_set_hook = nullptr;

// No rename crosses the other volume's boundary, a file's neither.
NTSTATUS NTAPI VolumeNtSetInformationFile(HANDLE handle, PIO_STATUS_BLOCK io,
                                          PVOID data, ULONG length,
                                          FILE_INFORMATION_CLASS kind) {
  if (kind == kRenameInformation && data && g_other_volume) {
    const std::wstring volume = LinkFinalPath(g_other_volume->c_str());
    const std::wstring from = FinalPath(handle);
    const std::wstring to = RenameTarget(data);
    if (!from.empty() && !to.empty() &&
        IsBelow(from, volume, true) != IsBelow(to, volume, true)) {
      return static_cast<NTSTATUS>(0xC00000D4);  // STATUS_NOT_SAME_DEVICE
    }
  }
  return g_volume_nt_set_hook->original<decltype(&::NtSetInformationFile)>()(
      handle, io, data, length, kind);
}

// --- ReplaceFileW -------------------------------------------------------

ScopedImportHook* g_replace_hook = nullptr;
DWORD g_replace_error = 0;
bool g_replace_used = false;

BOOL WINAPI FailingReplaceFileW(LPCWSTR replaced,
                                LPCWSTR replacement,
                                LPCWSTR backup,
                                DWORD flags,
                                LPVOID exclude,
                                LPVOID reserved) {
  if (g_replace_used) {
    return g_replace_hook->original<decltype(&::ReplaceFileW)>()(
        replaced, replacement, backup, flags, exclude, reserved);
  }
  g_replace_used = true;
  const DWORD attributes = Sys().get_attributes(replaced);
  if (g_replace_error == ERROR_UNABLE_TO_MOVE_REPLACEMENT && !backup) {
    Sys().set_attributes(replaced, FILE_ATTRIBUTE_NORMAL);
    Sys().delete_file(replaced);
  } else if (g_replace_error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) {
    // The replacement has taken over the replaced file's attributes, and
    // the replaced file has moved out of the way.
    const std::wstring aside =
        backup ? std::wstring(backup) : std::wstring(replaced) + L".~replaced";
    Sys().move_file(replaced, aside.c_str(), MOVEFILE_REPLACE_EXISTING);
    if (attributes != INVALID_FILE_ATTRIBUTES)
      Sys().set_attributes(replacement, attributes);
  }
  ::SetLastError(g_replace_error);
  return FALSE;
}

// --- File indexes ------------------------------------------------------

// The index each file shows, by the index Wine gives it: its own until an
// item is made anew with an index seen before, then a fresh one.
struct ShownIndexes {
  std::mutex lock;
  std::map<std::tuple<DWORD, DWORD, DWORD>, ULONGLONG> shown;
  ULONGLONG next = 0x7FFF000000000000ull;
};

ShownIndexes* g_shown_indexes = nullptr;
enum IndexHook { kIndexInformation, kIndexNtCreate, kIndexFolder,
                 kIndexHookCount };
ScopedImportHook* g_index_hooks[kIndexHookCount] = {};

template <typename Function>
Function IndexNext(IndexHook hook) {
  return g_index_hooks[hook]->original<Function>();
}

// By the index alone: Wine answers 0 for the volume serial through a handle
// whose file was renamed through another one, and the tests use one volume.
std::tuple<DWORD, DWORD, DWORD> GivenIndex(
    const BY_HANDLE_FILE_INFORMATION& info) {
  return std::make_tuple(DWORD{0}, info.nFileIndexHigh, info.nFileIndexLow);
}

// The item |handle| has open was just made.
void MadeAnew(HANDLE handle) {
  static const auto information =
      SystemEntry<decltype(&::GetFileInformationByHandle)>(
          "kernel32.dll", "GetFileInformationByHandle");
  BY_HANDLE_FILE_INFORMATION info;
  if (!g_shown_indexes || !information(handle, &info))
    return;
  std::lock_guard<std::mutex> hold(g_shown_indexes->lock);
  auto found = g_shown_indexes->shown.find(GivenIndex(info));
  if (found != g_shown_indexes->shown.end())
    found->second = g_shown_indexes->next++;
}

void MadeAnewAt(LPCWSTR path) {
  const DWORD error = ::GetLastError();
  HANDLE handle = Sys().create_file(
      path, FILE_READ_ATTRIBUTES,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
      nullptr);
  if (handle != INVALID_HANDLE_VALUE) {
    MadeAnew(handle);
    ::CloseHandle(handle);
  }
  ::SetLastError(error);
}

BOOL WINAPI NewIndexGetFileInformationByHandle(
    HANDLE handle, LPBY_HANDLE_FILE_INFORMATION info) {
  if (!IndexNext<decltype(&::GetFileInformationByHandle)>(kIndexInformation)(
          handle, info)) {
    return FALSE;
  }
  std::lock_guard<std::mutex> hold(g_shown_indexes->lock);
  const ULONGLONG own =
      (static_cast<ULONGLONG>(info->nFileIndexHigh) << 32) |
      info->nFileIndexLow;
  const ULONGLONG shown =
      g_shown_indexes->shown.emplace(GivenIndex(*info), own).first->second;
  info->nFileIndexHigh = static_cast<DWORD>(shown >> 32);
  info->nFileIndexLow = static_cast<DWORD>(shown);
  return TRUE;
}

NTSTATUS NTAPI NewIndexNtCreateFile(PHANDLE handle, ACCESS_MASK access,
                                    POBJECT_ATTRIBUTES object,
                                    PIO_STATUS_BLOCK io, PLARGE_INTEGER size,
                                    ULONG attributes, ULONG share,
                                    ULONG disposition, ULONG options,
                                    PVOID ea, ULONG ea_length) {
  const NTSTATUS status = IndexNext<decltype(&::NtCreateFile)>(kIndexNtCreate)(
      handle, access, object, io, size, attributes, share, disposition,
      options, ea, ea_length);
  if (status >= 0 && io && io->Information == 2)  // FILE_CREATED
    MadeAnew(*handle);
  return status;
}

BOOL WINAPI NewIndexCreateDirectoryW(LPCWSTR path,
                                     LPSECURITY_ATTRIBUTES security) {
  const BOOL result =
      IndexNext<decltype(&::CreateDirectoryW)>(kIndexFolder)(path, security);
  if (result)
    MadeAnewAt(path);
  return result;
}

// --- File access lists ---------------------------------------------------

// A file's identity: volume, index and creation time (Wine hands a freed
// index to the next new file).
using FileKey = std::tuple<DWORD, DWORD, DWORD, DWORD, DWORD>;

struct KeptList {
  std::vector<BYTE> dacl;  // empty for a null list (everyone)
  bool is_protected = false;
};

std::map<FileKey, KeptList>* g_kept_lists = nullptr;

enum ListHook { kSetFile, kGetFile, kSetNamed, kGetNamed, kSetHandle,
                kGetHandle, kListHookCount };
ScopedImportHook* g_list_hooks[kListHookCount] = {};

template <typename Function>
Function ListNext(ListHook hook) {
  return g_list_hooks[hook]->original<Function>();
}

bool KeyOfHandle(HANDLE handle, FileKey* key) {
  static const auto information =
      SystemEntry<decltype(&::GetFileInformationByHandle)>(
          "kernel32.dll", "GetFileInformationByHandle");
  BY_HANDLE_FILE_INFORMATION info;
  if (!information(handle, &info))
    return false;
  *key = FileKey(info.dwVolumeSerialNumber, info.nFileIndexHigh,
                 info.nFileIndexLow, info.ftCreationTime.dwHighDateTime,
                 info.ftCreationTime.dwLowDateTime);
  return true;
}

bool KeyOfName(LPCWSTR name, FileKey* key) {
  static const auto close =
      SystemEntry<decltype(&::CloseHandle)>("kernel32.dll", "CloseHandle");
  HANDLE file = Sys().create_file(
      name, FILE_READ_ATTRIBUTES,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return false;
  const bool known = KeyOfHandle(file, key);
  close(file);
  return known;
}

// Keeps |dacl| as the list of the file |key|; the protection as |info|
// says, else as |descriptor_control| says when given, else as it was.
void Keep(const FileKey& key,
          PACL dacl,
          SECURITY_INFORMATION info,
          const SECURITY_DESCRIPTOR_CONTROL* descriptor_control) {
  KeptList& kept = (*g_kept_lists)[key];
  const BYTE* bytes = reinterpret_cast<const BYTE*>(dacl);
  kept.dacl.assign(bytes, bytes + (dacl ? dacl->AclSize : 0));
  if (info & PROTECTED_DACL_SECURITY_INFORMATION)
    kept.is_protected = true;
  else if (info & UNPROTECTED_DACL_SECURITY_INFORMATION)
    kept.is_protected = false;
  else if (descriptor_control)
    kept.is_protected = (*descriptor_control & SE_DACL_PROTECTED) != 0;
}

const KeptList* Kept(const FileKey& key) {
  auto found = g_kept_lists->find(key);
  return found == g_kept_lists->end() ? nullptr : &found->second;
}

// |system| (what the system gave) with the kept list in place of its own,
// self-relative in LocalAlloc'd memory; null on failure.
PSECURITY_DESCRIPTOR WithKeptList(PSECURITY_DESCRIPTOR system,
                                  const KeptList& kept) {
  SECURITY_DESCRIPTOR absolute;
  PSID owner = nullptr;
  PSID group = nullptr;
  BOOL defaulted = FALSE;
  if (!::InitializeSecurityDescriptor(&absolute,
                                      SECURITY_DESCRIPTOR_REVISION) ||
      !::GetSecurityDescriptorOwner(system, &owner, &defaulted) ||
      !::SetSecurityDescriptorOwner(&absolute, owner, defaulted) ||
      !::GetSecurityDescriptorGroup(system, &group, &defaulted) ||
      !::SetSecurityDescriptorGroup(&absolute, group, defaulted) ||
      !::SetSecurityDescriptorDacl(
          &absolute, TRUE,
          kept.dacl.empty()
              ? nullptr
              : reinterpret_cast<PACL>(const_cast<BYTE*>(kept.dacl.data())),
          FALSE) ||
      !::SetSecurityDescriptorControl(
          &absolute, SE_DACL_PROTECTED,
          kept.is_protected ? SE_DACL_PROTECTED : 0)) {
    return nullptr;
  }
  DWORD size = 0;
  ::MakeSelfRelativeSD(&absolute, nullptr, &size);
  PSECURITY_DESCRIPTOR result = ::LocalAlloc(LMEM_FIXED, size);
  if (result && !::MakeSelfRelativeSD(&absolute, result, &size)) {
    ::LocalFree(result);
    result = nullptr;
  }
  return result;
}

// Replaces the descriptor a Get*SecurityInfo call gave for the file |key|
// with one holding its kept list, if any, and points the outputs into it.
DWORD PutKeptList(const FileKey& key,
                  SECURITY_INFORMATION info,
                  PSID* owner,
                  PSID* group,
                  PACL* dacl,
                  PACL* sacl,
                  PSECURITY_DESCRIPTOR* descriptor) {
  const KeptList* kept = Kept(key);
  if (!kept)
    return ERROR_SUCCESS;
  PSECURITY_DESCRIPTOR replaced = WithKeptList(*descriptor, *kept);
  if (!replaced)
    return ERROR_NOT_ENOUGH_MEMORY;
  ::LocalFree(*descriptor);
  *descriptor = replaced;
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  if (owner && (info & OWNER_SECURITY_INFORMATION))
    ::GetSecurityDescriptorOwner(replaced, owner, &defaulted);
  if (group && (info & GROUP_SECURITY_INFORMATION))
    ::GetSecurityDescriptorGroup(replaced, group, &defaulted);
  if (dacl)
    ::GetSecurityDescriptorDacl(replaced, &present, dacl, &defaulted);
  if (sacl)
    *sacl = nullptr;
  return ERROR_SUCCESS;
}

bool AsksFileList(SE_OBJECT_TYPE type,
                  SECURITY_INFORMATION info,
                  PSECURITY_DESCRIPTOR* descriptor) {
  return type == SE_FILE_OBJECT && (info & DACL_SECURITY_INFORMATION) &&
         descriptor;
}

DWORD WINAPI KeptGetNamedSecurityInfoW(LPCWSTR name,
                                       SE_OBJECT_TYPE type,
                                       SECURITY_INFORMATION info,
                                       PSID* owner,
                                       PSID* group,
                                       PACL* dacl,
                                       PACL* sacl,
                                       PSECURITY_DESCRIPTOR* descriptor) {
  const DWORD result = ListNext<decltype(&::GetNamedSecurityInfoW)>(kGetNamed)(
      name, type, info, owner, group, dacl, sacl, descriptor);
  FileKey key;
  return result == ERROR_SUCCESS && AsksFileList(type, info, descriptor) &&
                 KeyOfName(name, &key)
             ? PutKeptList(key, info, owner, group, dacl, sacl, descriptor)
             : result;
}

DWORD WINAPI KeptGetSecurityInfo(HANDLE handle,
                                 SE_OBJECT_TYPE type,
                                 SECURITY_INFORMATION info,
                                 PSID* owner,
                                 PSID* group,
                                 PACL* dacl,
                                 PACL* sacl,
                                 PSECURITY_DESCRIPTOR* descriptor) {
  const DWORD result = ListNext<decltype(&::GetSecurityInfo)>(kGetHandle)(
      handle, type, info, owner, group, dacl, sacl, descriptor);
  FileKey key;
  return result == ERROR_SUCCESS && AsksFileList(type, info, descriptor) &&
                 KeyOfHandle(handle, &key)
             ? PutKeptList(key, info, owner, group, dacl, sacl, descriptor)
             : result;
}

BOOL WINAPI KeptGetFileSecurityW(LPCWSTR name,
                                 SECURITY_INFORMATION info,
                                 PSECURITY_DESCRIPTOR buffer,
                                 DWORD size,
                                 LPDWORD needed) {
  FileKey key;
  const KeptList* kept = nullptr;
  if (!(info & DACL_SECURITY_INFORMATION) || !KeyOfName(name, &key) ||
      !(kept = Kept(key))) {
    return ListNext<decltype(&::GetFileSecurityW)>(kGetFile)(name, info, buffer,
                                                             size, needed);
  }
  static const auto get_named =
      SystemEntry<decltype(&::GetNamedSecurityInfoW)>("advapi32.dll",
                                                      "GetNamedSecurityInfoW");
  PSECURITY_DESCRIPTOR system = nullptr;
  const DWORD result =
      get_named(name, SE_FILE_OBJECT, info, nullptr, nullptr, nullptr, nullptr,
                &system);
  if (result != ERROR_SUCCESS) {
    ::SetLastError(result);
    return FALSE;
  }
  PSECURITY_DESCRIPTOR replaced = WithKeptList(system, *kept);
  ::LocalFree(system);
  if (!replaced) {
    ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  *needed = ::GetSecurityDescriptorLength(replaced);
  const bool fits = *needed <= size;
  if (fits)
    memcpy(buffer, replaced, *needed);
  ::LocalFree(replaced);
  if (!fits)
    ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
  return fits;
}

DWORD WINAPI KeptSetNamedSecurityInfoW(LPWSTR name,
                                       SE_OBJECT_TYPE type,
                                       SECURITY_INFORMATION info,
                                       PSID owner,
                                       PSID group,
                                       PACL dacl,
                                       PACL sacl) {
  const DWORD result = ListNext<decltype(&::SetNamedSecurityInfoW)>(kSetNamed)(
      name, type, info, owner, group, dacl, sacl);
  FileKey key;
  if (result == ERROR_SUCCESS && type == SE_FILE_OBJECT &&
      (info & DACL_SECURITY_INFORMATION) && KeyOfName(name, &key)) {
    Keep(key, dacl, info, nullptr);
  }
  return result;
}

DWORD WINAPI KeptSetSecurityInfo(HANDLE handle,
                                 SE_OBJECT_TYPE type,
                                 SECURITY_INFORMATION info,
                                 PSID owner,
                                 PSID group,
                                 PACL dacl,
                                 PACL sacl) {
  const DWORD result = ListNext<decltype(&::SetSecurityInfo)>(kSetHandle)(
      handle, type, info, owner, group, dacl, sacl);
  FileKey key;
  if (result == ERROR_SUCCESS && type == SE_FILE_OBJECT &&
      (info & DACL_SECURITY_INFORMATION) && KeyOfHandle(handle, &key)) {
    Keep(key, dacl, info, nullptr);
  }
  return result;
}

BOOL WINAPI KeptSetFileSecurityW(LPCWSTR name,
                                 SECURITY_INFORMATION info,
                                 PSECURITY_DESCRIPTOR descriptor) {
  const BOOL result = ListNext<decltype(&::SetFileSecurityW)>(kSetFile)(
      name, info, descriptor);
  FileKey key;
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL dacl = nullptr;
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  if (result && (info & DACL_SECURITY_INFORMATION) &&
      ::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) &&
      ::GetSecurityDescriptorControl(descriptor, &control, &revision) &&
      KeyOfName(name, &key)) {
    Keep(key, present ? dacl : nullptr, info, &control);
  }
  return result;
}

}  // namespace

ScopedImportHook::ScopedImportHook(const char* function,
                                   const void* replacement,
                                   const wchar_t* module)
    : slots_(FindImportSlots(function, module)) {
  for (void** slot : slots_) {
    original_ = *slot;
    WriteSlot(slot, const_cast<void*>(replacement));
  }
}

ScopedImportHook::~ScopedImportHook() {
  for (void** slot : slots_)
    WriteSlot(slot, original_);
}

ScopedFaultInjection::ScopedFaultInjection(int fail_at,
                                           DWORD error,
                                           const char* only,
                                           bool started) {
  InjectionState& s = Injection();
  {
    std::lock_guard<std::mutex> hold(s.lock);
    s.fail_at = fail_at;
    s.error = error;
    s.only = only ? only : "";
    s.calls = 0;
    s.failed.clear();
    s.trace.clear();
  }
  Entry* entries = Entries();
  for (int i = 0; i < kEntryCount; ++i) {
    auto* hook = new ScopedImportHook(entries[i].name, entries[i].wrapper);
    entries[i].original = hook->original<void*>();
    hooks_.push_back(hook);
  }
  if (started)
    Start();
}

void ScopedFaultInjection::Interject(std::function<void()> action) {
  std::lock_guard<std::mutex> hold(Injection().lock);
  Injection().interjection = std::move(action);
}

void ScopedFaultInjection::AlsoFail(const char* function, int at, int count) {
  std::lock_guard<std::mutex> hold(Injection().lock);
  Injection().also = function;
  Injection().also_from = at;
  Injection().also_to = at + count;
}

void ScopedFaultInjection::Start() {
  InjectionState& s = Injection();
  std::lock_guard<std::mutex> hold(s.lock);
  s.calls = s.also_calls = 0;
  s.failed.clear();
  s.trace.clear();
  s.active = true;
}

ScopedFaultInjection::~ScopedFaultInjection() {
  {
    std::lock_guard<std::mutex> hold(Injection().lock);
    Injection().active = false;
    Injection().interjection = nullptr;
    Injection().also.clear();
  }
  for (auto it = hooks_.rbegin(); it != hooks_.rend(); ++it)
    delete *it;
}

int ScopedFaultInjection::calls() const {
  std::lock_guard<std::mutex> hold(Injection().lock);
  return Injection().calls;
}

std::string ScopedFaultInjection::failed_function() const {
  std::lock_guard<std::mutex> hold(Injection().lock);
  return Injection().failed;
}

const std::vector<std::string>& ScopedFaultInjection::trace() const {
  return Injection().trace;
}

ScopedWindowsFolderRenameRules::ScopedWindowsFolderRenameRules()
    : move_ex_("MoveFileExW", reinterpret_cast<void*>(&RuledMoveFileExW)),
      move_("MoveFileW", reinterpret_cast<void*>(&RuledMoveFileW)),
      create_("CreateFileW", reinterpret_cast<void*>(&TrackedCreateFileW)),
      close_("CloseHandle", reinterpret_cast<void*>(&TrackedCloseHandle)),
      find_first_("FindFirstFileW",
                  reinterpret_cast<void*>(&TrackedFindFirstFileW)),
      find_first_ex_("FindFirstFileExW",
                     reinterpret_cast<void*>(&TrackedFindFirstFileExW)),
      find_close_("FindClose", reinterpret_cast<void*>(&TrackedFindClose)),
      nt_set_("NtSetInformationFile",
              reinterpret_cast<void*>(&FolderRenameNtSetInformationFile)) {
  g_rename_nt_set_hook = &nt_set_;
  g_move_ex_hook = &move_ex_;
  g_move_hook = &move_;
  g_rename_hooks[kRenameCreate] = &create_;
  g_rename_hooks[kRenameClose] = &close_;
  g_rename_hooks[kRenameFindFirst] = &find_first_;
  g_rename_hooks[kRenameFindFirstEx] = &find_first_ex_;
  g_rename_hooks[kRenameFindClose] = &find_close_;
  if (!g_open_handles)
    g_open_handles = new OpenHandles;
  g_refused_renames = 0;
}

ScopedWindowsFolderRenameRules::~ScopedWindowsFolderRenameRules() {
  // What the replacements track stays allocated for the next rules: one of
  // them may still be running on another thread.
  std::lock_guard<std::mutex> hold(g_open_handles->lock);
  g_open_handles->files.clear();
  g_open_handles->searches.clear();
}

int ScopedWindowsFolderRenameRules::refused() const {
  return g_refused_renames;
}

ScopedWindowsLinkRules::ScopedWindowsLinkRules()
    : create_("CreateFileW", reinterpret_cast<void*>(&RuledCreateFileW)),
      information_("GetFileInformationByHandle",
                   reinterpret_cast<void*>(&RuledGetFileInformationByHandle)),
      set_information_(
          "SetFileInformationByHandle",
          reinterpret_cast<void*>(&RuledSetFileInformationByHandle)),
      close_("CloseHandle", reinterpret_cast<void*>(&RuledCloseHandle)),
      final_path_("GetFinalPathNameByHandleW",
                  reinterpret_cast<void*>(&RuledGetFinalPathNameByHandleW)),
      nt_create_("NtCreateFile", reinterpret_cast<void*>(&RuledNtCreateFile)),
      nt_set_("NtSetInformationFile",
              reinterpret_cast<void*>(&RuledNtSetInformationFile)) {
  g_link_nt_create_hook = &nt_create_;
  g_link_nt_set_hook = &nt_set_;
  g_link_create_hook = &create_;
  g_link_information_hook = &information_;
  g_link_set_information_hook = &set_information_;
  g_link_close_hook = &close_;
  g_link_final_path_hook = &final_path_;
  g_link_handles = new std::map<HANDLE, std::wstring>;
}

ScopedWindowsLinkRules::~ScopedWindowsLinkRules() {
  // The hooks stay in place until the members go: the replacements must
  // keep working until then.
  delete g_link_handles;
  g_link_handles = nullptr;
}

ScopedOtherVolume::ScopedOtherVolume(const std::wstring& folder,
                                     bool files_by_copy)
    : move_ex_("MoveFileExW", reinterpret_cast<void*>(&VolumeMoveFileExW)),
      move_("MoveFileW", reinterpret_cast<void*>(&VolumeMoveFileW)),
      nt_set_("NtSetInformationFile",
              reinterpret_cast<void*>(&VolumeNtSetInformationFile)) {
  g_volume_nt_set_hook = &nt_set_;
  g_volume_move_ex_hook = &move_ex_;
  g_volume_move_hook = &move_;
  g_other_volume = new std::wstring(FullPath(folder.c_str()));
  g_volume_files_by_copy = files_by_copy;
}

ScopedOtherVolume::~ScopedOtherVolume() {
  delete g_other_volume;
  g_other_volume = nullptr;
  g_volume_files_by_copy = false;
}

ScopedWindowsFileIndexes::ScopedWindowsFileIndexes()
    : information_("GetFileInformationByHandle",
                   reinterpret_cast<void*>(
                       &NewIndexGetFileInformationByHandle)),
      nt_create_("NtCreateFile",
                 reinterpret_cast<void*>(&NewIndexNtCreateFile)),
      folder_("CreateDirectoryW",
              reinterpret_cast<void*>(&NewIndexCreateDirectoryW)) {
  g_index_hooks[kIndexInformation] = &information_;
  g_index_hooks[kIndexNtCreate] = &nt_create_;
  g_index_hooks[kIndexFolder] = &folder_;
  g_shown_indexes = new ShownIndexes;
}

ScopedWindowsFileIndexes::~ScopedWindowsFileIndexes() {
  delete g_shown_indexes;
  g_shown_indexes = nullptr;
}

ScopedReplaceFileFailure::ScopedReplaceFileFailure(DWORD error)
    : hook_("ReplaceFileW", reinterpret_cast<void*>(&FailingReplaceFileW)) {
  g_replace_hook = &hook_;
  g_replace_error = error;
  g_replace_used = false;
}

ScopedReplaceFileFailure::~ScopedReplaceFileFailure() {
  g_replace_hook = nullptr;
}

bool ScopedReplaceFileFailure::used() const {
  return g_replace_used;
}

ScopedWindowsFileAccessLists::ScopedWindowsFileAccessLists()
    : set_file_("SetFileSecurityW",
                reinterpret_cast<void*>(&KeptSetFileSecurityW)),
      get_file_("GetFileSecurityW",
                reinterpret_cast<void*>(&KeptGetFileSecurityW)),
      set_named_("SetNamedSecurityInfoW",
                 reinterpret_cast<void*>(&KeptSetNamedSecurityInfoW)),
      get_named_("GetNamedSecurityInfoW",
                 reinterpret_cast<void*>(&KeptGetNamedSecurityInfoW)),
      set_handle_("SetSecurityInfo",
                  reinterpret_cast<void*>(&KeptSetSecurityInfo)),
      get_handle_("GetSecurityInfo",
                  reinterpret_cast<void*>(&KeptGetSecurityInfo)) {
  g_kept_lists = new std::map<FileKey, KeptList>;
  g_list_hooks[kSetFile] = &set_file_;
  g_list_hooks[kGetFile] = &get_file_;
  g_list_hooks[kSetNamed] = &set_named_;
  g_list_hooks[kGetNamed] = &get_named_;
  g_list_hooks[kSetHandle] = &set_handle_;
  g_list_hooks[kGetHandle] = &get_handle_;
}

ScopedWindowsFileAccessLists::~ScopedWindowsFileAccessLists() {
  delete g_kept_lists;
  g_kept_lists = nullptr;
}

}  // namespace platform_rules
