#include "base/files/held_entry_win.h"

#include <winternl.h>

#include <string.h>

#include <memory>
#include <utility>

#include "base/logging.h"
#include "base/strings/utf_string_conversions.h"

extern "C" NTSTATUS NTAPI NtQueryDirectoryFile(HANDLE file,
                                               HANDLE event,
                                               PVOID apc_routine,
                                               PVOID apc_context,
                                               PIO_STATUS_BLOCK io_status,
                                               PVOID information,
                                               ULONG length,
                                               FILE_INFORMATION_CLASS kind,
                                               BOOLEAN single_entry,
                                               PUNICODE_STRING file_name,
                                               BOOLEAN restart_scan);

namespace base {

namespace {

// Not all of these are in the SDK headers the toolchain has.
constexpr ULONG kFileOpen = 1;
constexpr ULONG kFileCreate = 2;
constexpr ULONG kSynchronousIo = 0x00000020;  // FILE_SYNCHRONOUS_IO_NONALERT
constexpr ULONG kForBackup = 0x00004000;      // FILE_OPEN_FOR_BACKUP_INTENT
constexpr ULONG kObjCaseInsensitive = 0x00000040;
constexpr auto kDirectoryInformation = static_cast<FILE_INFORMATION_CLASS>(1);
constexpr auto kBasicInformation = static_cast<FILE_INFORMATION_CLASS>(4);
constexpr auto kRenameInformation = static_cast<FILE_INFORMATION_CLASS>(10);
constexpr auto kDispositionInformation =
    static_cast<FILE_INFORMATION_CLASS>(13);
constexpr NTSTATUS kNoMoreFiles = static_cast<NTSTATUS>(0x80000006);
constexpr NTSTATUS kNoSuchFile = static_cast<NTSTATUS>(0xC000000F);

// The attributes a file's basic information can set.
constexpr DWORD kSettableAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
    FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// The native result as the thread's last error, for the callers' logs.
bool Succeeded(NTSTATUS status) {
  if (NT_SUCCESS(status))
    return true;
  ::SetLastError(::RtlNtStatusToDosError(status));
  return false;
}

UNICODE_STRING CountedName(const string16& name) {
  UNICODE_STRING counted;
  counted.Length = static_cast<USHORT>(name.size() * sizeof(char16));
  counted.MaximumLength = counted.Length;
  counted.Buffer = const_cast<PWSTR>(as_wcstr(name));
  return counted;
}

bool SetInformation(HANDLE handle,
                    void* information,
                    ULONG length,
                    FILE_INFORMATION_CLASS kind) {
  IO_STATUS_BLOCK io_status = {};
  return Succeeded(
      ::NtSetInformationFile(handle, &io_status, information, length, kind));
}

// What an opened entry is.
enum class Entry { FAILED, FILE, LINK, FOLDER };

// What |entry|, listed or read with |seen| attributes, is, with its
// information in |info|. A handle that shows no link where one was seen is
// not the link's own (some systems follow links regardless): nothing goes
// through it.
Entry KindOf(const HeldEntry& entry,
             DWORD seen,
             BY_HANDLE_FILE_INFORMATION* info) {
  if (!entry.ReadInfo(info))
    return Entry::FAILED;
  const DWORD attributes = info->dwFileAttributes;
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
    return Entry::LINK;
  if (seen & FILE_ATTRIBUTE_REPARSE_POINT) {
    LOG(ERROR) << "A link opened as what it points to; it stays";
    ::SetLastError(ERROR_CANT_ACCESS_FILE);
    return Entry::FAILED;
  }
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? Entry::FOLDER : Entry::FILE;
}

}  // namespace

HeldEntry::HeldEntry() = default;
HeldEntry::~HeldEntry() = default;
HeldEntry::HeldEntry(HeldEntry&& other) = default;
HeldEntry& HeldEntry::operator=(HeldEntry&& other) = default;

bool HeldEntry::Open(const FilePath& path, DWORD access, DWORD share) {
  handle_.Set(::CreateFileW(
      as_wcstr(path.value()), access, share, nullptr, OPEN_EXISTING,
      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  return handle_.IsValid();
}

bool HeldEntry::OpenIn(const HeldEntry& folder,
                       const string16& name,
                       DWORD access,
                       DWORD share) {
  return OpenRelative(folder.Get(), name, access, share, kFileOpen, 0);
}

bool HeldEntry::CreateFolderIn(const HeldEntry& folder,
                               const string16& name,
                               DWORD access) {
  return OpenRelative(folder.Get(), name, access, kShareReadWrite, kFileCreate,
                      FILE_DIRECTORY_FILE);
}

bool HeldEntry::CreateFileIn(const HeldEntry& folder,
                             const string16& name,
                             DWORD access) {
  return OpenRelative(folder.Get(), name, access, 0, kFileCreate,
                      FILE_NON_DIRECTORY_FILE);
}

bool HeldEntry::OpenRelative(HANDLE root,
                             const string16& name,
                             DWORD access,
                             DWORD share,
                             ULONG disposition,
                             ULONG options) {
  handle_.Close();
  // One entry of the folder: a separator would walk further by name.
  if (name.empty() || name.find_first_of(u"\\/") != string16::npos ||
      name == u"." || name == u"..") {
    ::SetLastError(ERROR_INVALID_NAME);
    return false;
  }
  UNICODE_STRING counted = CountedName(name);
  OBJECT_ATTRIBUTES attributes = {};
  attributes.Length = sizeof(attributes);
  attributes.RootDirectory = root;
  attributes.ObjectName = &counted;
  attributes.Attributes = kObjCaseInsensitive;
  IO_STATUS_BLOCK io_status = {};
  HANDLE handle = INVALID_HANDLE_VALUE;
  const NTSTATUS status = ::NtCreateFile(
      &handle, access | SYNCHRONIZE, &attributes, &io_status, nullptr,
      FILE_ATTRIBUTE_NORMAL, share, disposition,
      options | FILE_OPEN_REPARSE_POINT | kSynchronousIo | kForBackup, nullptr,
      0);
  if (!Succeeded(status))
    return false;
  handle_.Set(handle);
  return true;
}

bool IsWin32Reachable(const string16& name) {
  if (!name.empty() && name.back() != u'.' && name.back() != u' ')
    return true;
  ::SetLastError(ERROR_INVALID_NAME);
  return false;
}

bool HeldEntry::ReadInfo(BY_HANDLE_FILE_INFORMATION* info) const {
  return ::GetFileInformationByHandle(handle_.Get(), info) != FALSE;
}

bool HeldEntry::SetAttributes(DWORD attributes) const {
  FILE_BASIC_INFO basic = {};  // Times of zero stay as they are.
  basic.FileAttributes = attributes & kSettableAttributes;
  // Zero would mean "leave them"; FILE_ATTRIBUTE_NORMAL means "none".
  if (!basic.FileAttributes)
    basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  return SetInformation(handle_.Get(), &basic, sizeof(basic),
                        kBasicInformation);
}

bool HeldEntry::SetDeletePending(bool pending) const {
  BOOLEAN disposition = pending ? TRUE : FALSE;
  return SetInformation(handle_.Get(), &disposition, sizeof(disposition),
                        kDispositionInformation);
}

bool HeldEntry::RenameInto(const HeldEntry& folder,
                           const string16& name,
                           bool replace) const {
  if (name.empty() || name.find_first_of(u"\\/") != string16::npos) {
    ::SetLastError(ERROR_INVALID_NAME);
    return false;
  }
  // The root form of SetFileInformationByHandle's FileRenameInfo is refused
  // by some systems; the native call takes it everywhere.
  const size_t name_bytes = name.size() * sizeof(char16);
  std::vector<BYTE> buffer(sizeof(FILE_RENAME_INFORMATION) + name_bytes);
  auto* rename = reinterpret_cast<FILE_RENAME_INFORMATION*>(buffer.data());
  rename->ReplaceIfExists = replace ? TRUE : FALSE;
  rename->RootDirectory = folder.Get();
  rename->FileNameLength = static_cast<ULONG>(name_bytes);
  memcpy(rename->FileName, name.data(), name_bytes);
  return SetInformation(handle_.Get(), buffer.data(),
                        static_cast<ULONG>(buffer.size()), kRenameInformation);
}

HeldFolderListing::HeldFolderListing(const HeldEntry& folder,
                                     const string16& pattern)
    : folder_(folder.Get()), pattern_(pattern), buffer_(64 * 1024) {}

HeldFolderListing::~HeldFolderListing() = default;

bool HeldFolderListing::Fill() {
  IO_STATUS_BLOCK io_status = {};
  UNICODE_STRING mask = CountedName(pattern_);
  const NTSTATUS status = ::NtQueryDirectoryFile(
      folder_, nullptr, nullptr, nullptr, &io_status, buffer_.data(),
      static_cast<ULONG>(buffer_.size()), kDirectoryInformation, FALSE,
      first_ && !pattern_.empty() ? &mask : nullptr, first_ ? TRUE : FALSE);
  first_ = false;
  offset_ = 0;
  if (status == kNoMoreFiles || status == kNoSuchFile) {
    done_ = true;
    return false;
  }
  if (!Succeeded(status)) {
    PLOG(ERROR) << "Couldn't list a folder";
    failed_ = done_ = true;
    return false;
  }
  filled_ = true;
  return true;
}

bool HeldFolderListing::Next(string16* name, DWORD* attributes) {
  while (!done_) {
    if (!filled_ && !Fill())
      return false;
    const auto* entry = reinterpret_cast<const FILE_DIRECTORY_INFORMATION*>(
        buffer_.data() + offset_);
    if (entry->NextEntryOffset)
      offset_ += entry->NextEntryOffset;
    else
      filled_ = false;
    name->assign(reinterpret_cast<const char16*>(entry->FileName),
                 entry->FileNameLength / sizeof(char16));
    if (*name == u"." || *name == u"..")
      continue;
    *attributes = entry->FileAttributes;
    return true;
  }
  return false;
}

bool MarkHeldEntryDeleted(const HeldEntry& entry,
                          const BY_HANDLE_FILE_INFORMATION& info) {
  const DWORD attributes = info.dwFileAttributes;
  const bool read_only = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
  if (read_only &&
      !entry.SetAttributes(attributes & ~FILE_ATTRIBUTE_READONLY)) {
    PLOG(ERROR) << "Couldn't lift a read-only mark for a deletion";
    return false;
  }
  const bool deleted = entry.SetDeletePending(true);
  const DWORD error = ::GetLastError();
  // The mark is the file's: it stays on when the file does, and on its
  // other names.
  if (read_only && (!deleted || info.nNumberOfLinks > 1) &&
      !entry.SetAttributes(attributes)) {
    PLOG(ERROR) << "A file lost its read-only mark";
  }
  ::SetLastError(error);
  return deleted;
}

bool UnmarkHeldEntryDeleted(const HeldEntry& entry,
                            const BY_HANDLE_FILE_INFORMATION& info) {
  // Tried again once: a mark that stays deletes the entry as it closes.
  if (!entry.SetDeletePending(false) && !entry.SetDeletePending(false)) {
    PLOG(ERROR) << "Couldn't take a deletion back";
    return false;
  }
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) &&
      !entry.SetAttributes(info.dwFileAttributes) &&
      !entry.SetAttributes(info.dwFileAttributes)) {
    PLOG(ERROR) << "A file lost its read-only mark as its deletion was "
                   "taken back";
    return false;
  }
  return true;
}

bool DeleteHeldEntry(HeldEntry* entry, const BY_HANDLE_FILE_INFORMATION& info) {
  const bool deleted = MarkHeldEntryDeleted(*entry, info);
  const DWORD error = ::GetLastError();
  entry->Close();
  ::SetLastError(error);
  return deleted;
}

namespace {

LARGE_INTEGER AsInteger(const FILETIME& time) {
  LARGE_INTEGER value;
  value.LowPart = time.dwLowDateTime;
  value.HighPart = static_cast<LONG>(time.dwHighDateTime);
  return value;
}

// Writes all the bytes |source| holds into |copy|, from where each stands.
bool CopyBytes(const HeldEntry& source, const HeldEntry& copy) {
  std::vector<char> buffer(64 * 1024);
  for (;;) {
    DWORD read = 0;
    if (!::ReadFile(source.Get(), buffer.data(),
                    static_cast<DWORD>(buffer.size()), &read, nullptr)) {
      return false;
    }
    if (read == 0)
      return true;
    DWORD written = 0;
    if (!::WriteFile(copy.Get(), buffer.data(), read, &written, nullptr))
      return false;
    if (written != read) {
      ::SetLastError(ERROR_WRITE_FAULT);
      return false;
    }
  }
}

// Gives |copy| the times and attributes of |original|, less the read-only
// mark. Set after the bytes: writing would move the last-write time on.
bool CopyTimesAndAttributes(const BY_HANDLE_FILE_INFORMATION& original,
                            const HeldEntry& copy) {
  FILE_BASIC_INFO basic = {};
  basic.CreationTime = AsInteger(original.ftCreationTime);
  basic.LastAccessTime = AsInteger(original.ftLastAccessTime);
  basic.LastWriteTime = AsInteger(original.ftLastWriteTime);
  basic.FileAttributes = original.dwFileAttributes & kSettableAttributes &
                         ~FILE_ATTRIBUTE_READONLY;
  if (!basic.FileAttributes)
    basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  return SetInformation(copy.Get(), &basic, sizeof(basic), kBasicInformation);
}

}  // namespace

bool CopyHeldFile(const HeldEntry& source,
                  const HeldEntry& folder,
                  const string16& name,
                  HeldEntry* copy,
                  BY_HANDLE_FILE_INFORMATION* info) {
  BY_HANDLE_FILE_INFORMATION original;
  const Entry kind = KindOf(source, 0, &original);
  if (kind != Entry::FILE) {
    if (kind != Entry::FAILED) {
      LOG(ERROR) << "Only a file's own bytes are copied";
      ::SetLastError(ERROR_CANT_ACCESS_FILE);
    }
    return false;
  }
  if (!copy->CreateFileIn(folder, name, HeldEntry::kChange | FILE_WRITE_DATA))
    return false;
  if (CopyBytes(source, *copy) && CopyTimesAndAttributes(original, *copy) &&
      copy->ReadInfo(info)) {
    return true;
  }
  const DWORD error = ::GetLastError();
  // Not yet read-only: the copy goes as it is, through its handle.
  if (!copy->SetDeletePending(true))
    PLOG(ERROR) << "A copy stays as " << UTF16ToUTF8(name);
  copy->Close();
  ::SetLastError(error);
  return false;
}

// The walk keeps the folders it is inside on the heap, so that however deep
// the tree, the thread's stack is not.
bool DeleteHeldContents(const HeldEntry& top,
                        const string16& pattern,
                        bool recursive) {
  struct Level {
    Level(HeldEntry opened,
          const BY_HANDLE_FILE_INFORMATION& read,
          const string16& pattern)
        : folder(std::move(opened)), info(read), listing(folder, pattern) {}
    HeldEntry folder;
    BY_HANDLE_FILE_INFORMATION info;
    HeldFolderListing listing;
  };
  HeldFolderListing top_listing(top, pattern);
  std::vector<std::unique_ptr<Level>> levels;
  for (;;) {
    const HeldEntry& folder = levels.empty() ? top : levels.back()->folder;
    HeldFolderListing& listing =
        levels.empty() ? top_listing : levels.back()->listing;
    string16 name;
    DWORD seen;
    if (!listing.Next(&name, &seen)) {
      // What the listing missed may still be there.
      if (listing.failed())
        return false;
      // |top| itself is left to the caller.
      if (levels.empty())
        return true;
      std::unique_ptr<Level> done = std::move(levels.back());
      levels.pop_back();
      if (!DeleteHeldEntry(&done->folder, done->info)) {
        PLOG(ERROR) << "Couldn't delete a folder";
        return false;
      }
      continue;
    }
    if ((seen & FILE_ATTRIBUTE_DIRECTORY) && !recursive)
      continue;
    HeldEntry entry;
    BY_HANDLE_FILE_INFORMATION info;
    const Entry kind = entry.OpenIn(folder, name, HeldEntry::DeleteAccess(seen))
                           ? KindOf(entry, seen, &info)
                           : Entry::FAILED;
    if (kind == Entry::FAILED) {
      PLOG(ERROR) << "Couldn't open " << UTF16ToUTF8(name) << " to delete it";
      return false;
    }
    if (kind == Entry::FOLDER) {
      if (recursive)
        levels.push_back(
            std::make_unique<Level>(std::move(entry), info, pattern));
      continue;
    }
    if (!DeleteHeldEntry(&entry, info)) {
      PLOG(ERROR) << "Couldn't delete " << UTF16ToUTF8(name);
      return false;
    }
  }
}

bool DeleteHeld(HeldEntry* entry, DWORD seen, bool recursive) {
  BY_HANDLE_FILE_INFORMATION info;
  const Entry kind = KindOf(*entry, seen, &info);
  if (kind == Entry::FAILED)
    return false;
  if (kind == Entry::FOLDER && recursive &&
      !DeleteHeldContents(*entry, u"*", true)) {
    return false;
  }
  return DeleteHeldEntry(entry, info);
}

}  // namespace base
