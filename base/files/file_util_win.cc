#include "base/files/file_util.h"

#include <windows.h>

#include <share.h>
#include <shlobj.h>
#include <stdlib.h>

#include <algorithm>
#include <limits>
#include <map>
#include <memory>
#include <vector>

#include "base/files/file_enumerator.h"
#include "base/files/held_entry_win.h"
#include "base/logging.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/scoped_handle.h"

// A verbose log line with the last Windows error's code and text appended.
#define FILE_VPLOG(verbose_level) VPLOG(verbose_level)

namespace base {

namespace {

bool IsTooLong(const FilePath& path) {
  return path.value().length() >= kMaxPathLength;
}

DWORD GetAttributes(const FilePath& path) {
  return ::GetFileAttributesW(as_wcstr(path.value()));
}

bool SetAttributes(const FilePath& path, DWORD attributes) {
  // FILE_ATTRIBUTE_NORMAL is valid only alone, and stands for "none".
  return ::SetFileAttributesW(as_wcstr(path.value()),
                              attributes ? attributes
                                         : FILE_ATTRIBUTE_NORMAL) != FALSE;
}

// The text of a fixed-size buffer that a system call filled, with trailing
// separators stripped.
FilePath FromBuffer(const wchar_t* buffer) {
  return FilePath(as_u16cstr(buffer)).StripTrailingSeparators();
}

// The attributes SetFileAttributesW can set, which a copy must carry.
constexpr DWORD kSettableAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
    FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

bool IsPathNotFoundError(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// Deletes |path|, read as |seen|, through one handle opened on it as itself.
bool DeletePath(const FilePath& path, DWORD seen, bool recursive) {
  HeldEntry entry;
  if (!entry.Open(path, HeldEntry::DeleteAccess(seen))) {
    // Gone since it was read: as asked.
    if (IsPathNotFoundError(::GetLastError()))
      return true;
    PLOG(ERROR) << "Couldn't open " << path.AsUTF8Unsafe() << " to delete it";
    return false;
  }
  return DeleteHeld(&entry, seen, recursive);
}

// Whether |path| is |prefix| or begins with it, ignoring case as the file
// system does.
bool StartsWithIgnoreCase(const string16& path, const string16& prefix) {
  return path.length() >= prefix.length() &&
         FilePath::CompareIgnoreCase(StringPiece16(path).substr(0, prefix.length()),
                                     prefix) == 0;
}

// What a path names, whatever its spelling: its file identity, and its
// final path with every link and short name on the way resolved.
struct FileIdentity {
  DWORD volume = 0;
  DWORD index_high = 0;
  DWORD index_low = 0;
  string16 final_path;
  bool SameFile(const FileIdentity& other) const {
    return volume == other.volume && index_high == other.index_high &&
           index_low == other.index_low;
  }
  bool SameFile(const BY_HANDLE_FILE_INFORMATION& info) const {
    return volume == info.dwVolumeSerialNumber &&
           index_high == info.nFileIndexHigh && index_low == info.nFileIndexLow;
  }
};

FileIdentity IdentityOf(const BY_HANDLE_FILE_INFORMATION& info) {
  FileIdentity identity;
  identity.volume = info.dwVolumeSerialNumber;
  identity.index_high = info.nFileIndexHigh;
  identity.index_low = info.nFileIndexLow;
  return identity;
}

enum IdentityResult { IDENTITY_READ, IDENTITY_ABSENT, IDENTITY_FAILED };

// What |call| writes into a buffer of the size it asks for; |call| takes
// the buffer and its size in characters and answers the length written,
// or the size needed (with the terminator) when the buffer is short.
template <typename Call>
bool TextFromCall(Call call, string16* text) {
  std::vector<wchar_t> buffer(kMaxPathLength);
  DWORD length = call(buffer.data(), static_cast<DWORD>(buffer.size()));
  if (length >= buffer.size()) {
    buffer.resize(length);
    length = call(buffer.data(), static_cast<DWORD>(buffer.size()));
  }
  if (length == 0 || length >= buffer.size())
    return false;
  text->assign(as_u16cstr(buffer.data()), length);
  return true;
}

bool GetFinalPath(HANDLE handle, string16* path) {
  return TextFromCall(
      [handle](wchar_t* buffer, DWORD size) {
        return ::GetFinalPathNameByHandleW(handle, buffer, size,
                                           FILE_NAME_NORMALIZED);
      },
      path);
}

IdentityResult GetFileIdentity(const FilePath& path, FileIdentity* identity) {
  win::ScopedHandle handle(::CreateFileW(
      as_wcstr(path.value()), FILE_READ_ATTRIBUTES,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!handle.IsValid())
    return IsPathNotFoundError(::GetLastError()) ? IDENTITY_ABSENT
                                                 : IDENTITY_FAILED;
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(handle.Get(), &info) ||
      !GetFinalPath(handle.Get(), &identity->final_path)) {
    return IDENTITY_FAILED;
  }
  identity->volume = info.dwVolumeSerialNumber;
  identity->index_high = info.nFileIndexHigh;
  identity->index_low = info.nFileIndexLow;
  return IDENTITY_READ;
}

// Whether |path| is |folder| or lies below it, by text.
bool IsSameOrBelowText(const string16& path, const string16& folder) {
  return StartsWithIgnoreCase(path, folder) &&
         (path.length() == folder.length() ||
          FilePath::IsSeparator(path[folder.length()]));
}

// Whether |to| is |from| or lies below it under any spelling: |to| and each
// of its existing ancestors are compared with |from| by identity, and the
// deepest existing one by final path too, which catches a link on the way
// that leads inside |from|. When an identity cannot be read the answer is
// yes: a wrong yes only refuses a copy, a wrong no copies a folder into
// itself.
bool IsSameOrBelow(const FilePath& to, const FilePath& from) {
  FileIdentity source;
  if (GetFileIdentity(from, &source) != IDENTITY_READ)
    return true;
  bool deepest = true;
  FilePath current = to;
  for (size_t level = 0; level <= to.value().length(); ++level) {
    FileIdentity identity;
    const IdentityResult result = GetFileIdentity(current, &identity);
    if (result == IDENTITY_FAILED)
      return true;
    if (result == IDENTITY_READ) {
      if (identity.SameFile(source) ||
          (deepest &&
           IsSameOrBelowText(identity.final_path, source.final_path))) {
        return true;
      }
      deepest = false;
    }
    const FilePath parent = current.DirName();
    if (parent == current)
      return false;
    current = parent;
  }
  return true;
}

// Tries for a free name beside a file being replaced.
constexpr unsigned kMaxNamesTried = 100;

// The longest name of one entry.
constexpr size_t kMaxNameLength = 255;

// A name for an entry beside |name|: |name| with |suffix|, |name| cut short
// as far as the whole must be to be one entry's name.
string16 NameBeside(const string16& name, const string16& suffix) {
  size_t kept = std::min(name.size(), kMaxNameLength - suffix.size());
  // Half a surrogate pair is no character.
  if (kept > 0 && kept < name.size() && IS_HIGH_SURROGATE(name[kept - 1]))
    --kept;
  return name.substr(0, kept) + suffix;
}

// Copies a file; the copy stays writable for the installer, whatever the
// source was. The source is opened once, as itself, and the copy made new
// in the held target folder and filled through its handle: nothing another
// program puts at either name meanwhile is read, written or deleted.
// Without |replace|, an existing |to_path| stays as it is and the copy
// fails. With it, the copy is made beside |to_path| and renamed into its
// place through its handle only once whole: a failure on the way leaves
// |to_path| as it was.
bool CopyFileWritable(const FilePath& from_path,
                      const FilePath& to_path,
                      bool replace) {
  if (IsTooLong(from_path) || IsTooLong(to_path))
    return false;
  // The copy is made by its native name: the Win32 one must be the same
  // entry.
  const string16 name = to_path.BaseName().value();
  if (!IsWin32Reachable(name)) {
    PLOG(ERROR) << "No copy to " << to_path.AsUTF8Unsafe();
    return false;
  }
  HeldEntry source;
  HeldEntry folder;
  if (!source.Open(from_path, HeldEntry::kCopySource, FILE_SHARE_READ) ||
      !folder.Open(to_path.DirName(), HeldEntry::kHoldFolder)) {
    PLOG(ERROR) << "No copy of " << from_path.AsUTF8Unsafe();
    return false;
  }
  HeldEntry copy;
  BY_HANDLE_FILE_INFORMATION made;
  if (!replace) {
    if (CopyHeldFile(source, folder, name, &copy, &made))
      return true;
    PLOG(ERROR) << "Couldn't copy to " << to_path.AsUTF8Unsafe();
    return false;
  }
  const DWORD start = ::GetTickCount();
  for (unsigned attempt = 0; attempt < kMaxNamesTried; ++attempt) {
    const string16 beside = NameBeside(
        name, u"." + ASCIIToUTF16(std::to_string(start + attempt)) + u".copy");
    if (!CopyHeldFile(source, folder, beside, &copy, &made)) {
      const DWORD error = ::GetLastError();
      if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS)
        continue;
      PLOG(ERROR) << "Couldn't copy beside " << to_path.AsUTF8Unsafe();
      return false;
    }
    if (copy.RenameInto(folder, name, true))
      return true;
    PLOG(ERROR) << "Couldn't replace " << to_path.AsUTF8Unsafe();
    const DWORD error = ::GetLastError();
    if (!DeleteHeldEntry(&copy, made))
      PLOG(ERROR) << "A copy stays as " << UTF16ToUTF8(beside);
    ::SetLastError(error);
    return false;
  }
  LOG(ERROR) << "No free name beside " << to_path.AsUTF8Unsafe();
  return false;
}

// Whether a copy of |from_path| may go to |to_path|: never into itself or
// below, which would feed on its own output.
bool MayCopy(const FilePath& from_path, const FilePath& to_path) {
  if (IsTooLong(from_path) || IsTooLong(to_path))
    return false;
  const FilePath real_to = MakeAbsoluteFilePath(
      PathExists(to_path) ? to_path : to_path.DirName());
  if (real_to.empty())
    return false;
  const FilePath real_from = MakeAbsoluteFilePath(from_path);
  if (real_from.empty())
    return false;
  // A target that merely begins with the source's name is refused as well.
  if (StartsWithIgnoreCase(real_to.value(), real_from.value()))
    return false;
  // The text misses other spellings of the same folder: short names,
  // links on the way to the target.
  return !IsSameOrBelow(real_to, real_from);
}

// An entry a folder move made, and what it was when made: only what is
// still that file or folder may go again, never what took its name since.
struct MadeEntry {
  FilePath path;
  FileIdentity identity;
};

// An entry a folder move copied: what its source was, and its copy, held
// until the source's deletion is decided. A folder copy is held without
// delete sharing and a file copy shared with nobody: nobody deletes,
// replaces or swaps it for a link meanwhile, so the checks read the copy
// itself, never what stands at its name.
struct CopiedEntry {
  FileIdentity source;
  HeldEntry copy;
  BY_HANDLE_FILE_INFORMATION copy_info;
};

// The full copy of the tree being deleted, when a folder move by copy
// deletes its source: each entry must then be the one that was copied.
struct CopiedTree {
  FilePath source;
  std::map<string16, CopiedEntry> entries;  // by the source's path
};

// Whether the entry at |path| (below or at |tree.source|), with |info|
// read from its handle, is what was copied: the very entry the copy was
// read from (not another program's put in its place, whatever its size
// and time), and a file unchanged since (a copy keeps the time).
bool IsCopied(const FilePath& path,
              const BY_HANDLE_FILE_INFORMATION& info,
              const CopiedTree& tree) {
  const auto copied = tree.entries.find(path.value());
  if (copied == tree.entries.end() || !copied->second.source.SameFile(info)) {
    LOG(ERROR) << path.AsUTF8Unsafe() << " is not what was copied";
    return false;
  }
  const BY_HANDLE_FILE_INFORMATION& copy = copied->second.copy_info;
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
      (info.nFileSizeHigh == copy.nFileSizeHigh &&
       info.nFileSizeLow == copy.nFileSizeLow &&
       ::CompareFileTime(&info.ftLastWriteTime, &copy.ftLastWriteTime) == 0)) {
    return true;
  }
  LOG(ERROR) << path.AsUTF8Unsafe() << " changed after it was copied";
  return false;
}

// Copies |from_path| and everything below it to |to_path|, each entry to
// its path relative to |from_path_base|, merging into folders that exist
// and replacing files.
bool CopyEntries(const FilePath& from_path,
                 const FilePath& to_path,
                 const FilePath& from_path_base) {
  FileEnumerator traversal(from_path, true,
                           FileEnumerator::FILES | FileEnumerator::DIRECTORIES);
  const bool from_is_folder = DirectoryExists(from_path);
  FilePath current = from_path;
  bool from_is_dir = from_is_folder;
  bool success = true;
  while (success && !current.empty()) {
    FilePath target_path = to_path;
    if (current != from_path_base &&
        !from_path_base.AppendRelativePath(current, &target_path)) {
      success = false;
      break;
    }
    if (from_is_dir) {
      success = DirectoryExists(target_path) ||
                ::CreateDirectoryW(as_wcstr(target_path.value()), nullptr);
    } else {
      success = CopyFileWritable(current, target_path, true);
    }
    // A file has nothing below it to list.
    current = from_is_folder ? traversal.Next() : FilePath();
    if (!current.empty())
      from_is_dir = traversal.GetInfo().IsDirectory();
  }
  // A listing cut short leaves part of the folder uncopied.
  return success && !traversal.failed();
}

// Copies everything below the folder |source| holds (at |tree->source|)
// into the folder |copy| holds, made for it at |copy_path|, attributes and
// all: each entry opened as itself in its held folder and made new in its
// held copy, never by name, so that nothing another program puts at a name
// meanwhile (a link to elsewhere) is written through. Every entry made is
// added to |made|, so that exactly those can go again, and to |tree|, with
// the identity of its source and its copy held. No link can be copied: it
// would arrive as an empty folder or a copy of what it points to.
bool CopyHeldTree(const HeldEntry& source,
                  const HeldEntry& copy,
                  const FilePath& copy_path,
                  CopiedTree* tree,
                  std::vector<MadeEntry>* made) {
  // The folders it is inside are on the heap, however deep the tree.
  struct Level {
    Level(HeldEntry from, const HeldEntry* to, const FilePath& at,
          const FilePath& from_at)
        : source(std::move(from)),
          copy(to),
          path(at),
          source_path(from_at),
          listing(source, string16()) {}
    HeldEntry source;
    const HeldEntry* copy;
    FilePath path;
    FilePath source_path;
    HeldFolderListing listing;
  };
  HeldFolderListing top_listing(source, string16());
  std::vector<std::unique_ptr<Level>> levels;
  for (;;) {
    const bool top = levels.empty();
    HeldFolderListing& listing = top ? top_listing : levels.back()->listing;
    string16 name;
    DWORD seen;
    if (!listing.Next(&name, &seen)) {
      // A listing cut short leaves part of the folder uncopied.
      if (listing.failed())
        return false;
      if (top)
        return true;
      levels.pop_back();
      continue;
    }
    const FilePath path = (top ? copy_path : levels.back()->path).Append(name);
    const FilePath source_path =
        (top ? tree->source : levels.back()->source_path).Append(name);
    HeldEntry from;
    CopiedEntry copied;
    BY_HANDLE_FILE_INFORMATION original;
    if (!CopyHeldEntry(top ? source : levels.back()->source,
                       top ? copy : *levels.back()->copy, name, seen, &from,
                       &copied.copy, &copied.copy_info)) {
      PLOG(ERROR) << "Couldn't copy to " << path.AsUTF8Unsafe();
      return false;
    }
    made->push_back(MadeEntry{path, IdentityOf(copied.copy_info)});
    if (!from.ReadInfo(&original)) {
      PLOG(ERROR) << "Couldn't read what was copied to " << path.AsUTF8Unsafe();
      return false;
    }
    copied.source = IdentityOf(original);
    const HeldEntry* held =
        &(tree->entries[source_path.value()] = std::move(copied)).copy;
    if (original.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
      levels.push_back(
          std::make_unique<Level>(std::move(from), held, path, source_path));
  }
}

// Most entries a folder move by copy holds open at once, one handle each;
// a larger folder is not moved that way, and stays where it is.
constexpr size_t kMaxHeldEntries = 4096;

// An entry of a folder moved by copy, held from its check to its deletion.
struct HeldCopied {
  FilePath path;
  string16 name;
  size_t parent;  // its folder's place in the list
  HeldEntry entry;
  BY_HANDLE_FILE_INFORMATION info;
};

// Takes |top|, which holds |tree.source| (read as |top_info|), and opens
// every entry below it in its held folder, as itself, and checks each
// against what was copied (IsCopied) before anything goes. Each is held
// with delete access and without delete sharing: what another program has open that way (a
// console's current folder), nobody renames or deletes meanwhile, and a
// file shares only reading. The list is in listing order, each folder
// before what it holds, the source first.
bool HoldCopiedTree(const CopiedTree& tree,
                    HeldEntry* top,
                    const BY_HANDLE_FILE_INFORMATION& top_info,
                    std::vector<HeldCopied>* held) {
  held->push_back({tree.source, tree.source.BaseName().value(), 0,
                   std::move(*top), top_info});
  for (size_t folder = 0; folder < held->size(); ++folder) {
    if (folder > 0 &&
        !((*held)[folder].info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      continue;
    }
    HeldFolderListing listing((*held)[folder].entry, string16());
    string16 name;
    DWORD seen;
    while (listing.Next(&name, &seen)) {
      if (held->size() == kMaxHeldEntries) {
        LOG(ERROR) << tree.source.AsUTF8Unsafe() << " holds too many entries";
        return false;
      }
      const bool is_folder = (seen & FILE_ATTRIBUTE_DIRECTORY) != 0;
      HeldCopied entry = {(*held)[folder].path.Append(name), name, folder,
                          HeldEntry(), {}};
      if (!entry.entry.OpenIn(
              (*held)[folder].entry, name,
              is_folder ? HeldEntry::DeleteAccess(seen)
                        : HeldEntry::kChange | FILE_READ_DATA,
              is_folder ? HeldEntry::kShareReadWrite : FILE_SHARE_READ) ||
          !entry.entry.ReadInfo(&entry.info) ||
          (entry.info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
          !IsCopied(entry.path, entry.info, tree)) {
        PLOG(ERROR) << "Couldn't hold " << entry.path.AsUTF8Unsafe();
        return false;
      }
      held->push_back(std::move(entry));
    }
    if (listing.failed())
      return false;
  }
  return true;
}

// The name beside the source |name| that its entry |index| is gathered
// under, stamped with |stamp|.
string16 GatheredName(const string16& name,
                      const string16& stamp,
                      size_t index) {
  return NameBeside(name, stamp + ASCIIToUTF16(std::to_string(index)) +
                              u".gone");
}

// Gives back what the first |gathered| entries below the source (by their
// place in |held|, the deepest first) were moved beside it as (under
// |stamp|), each into its own folder under its own name, folders before
// what they hold: the same files, lists and names as before. True when all
// came back; the names of those that stay beside are added to |left|.
// Each is tried twice, and never replaces: a name taken meanwhile is
// another program's.
bool PutBack(std::vector<HeldCopied>* held,
             size_t gathered,
             const string16& stamp,
             std::vector<FilePath>* left) {
  for (size_t moved = gathered; moved > 0; --moved) {
    HeldCopied& entry = (*held)[held->size() - moved];
    const HeldEntry& folder = (*held)[entry.parent].entry;
    if (!entry.entry.RenameInto(folder, entry.name, false) &&
        !entry.entry.RenameInto(folder, entry.name, false)) {
      PLOG(ERROR) << entry.path.AsUTF8Unsafe() << " stays as "
                  << (*held)[0]
                         .path.DirName()
                         .Append(GatheredName((*held)[0].name, stamp,
                                              moved - 1))
                         .AsUTF8Unsafe();
      left->push_back(entry.path);
    }
  }
  return left->empty();
}

// Deletes the source of a folder move by copy, all of it or nothing: every
// entry must be what was copied, checked before any goes, and the deletion
// stays revocable until all of it was accepted. Windows deletes a folder
// only empty, and counts an entry marked for deletion as there until its
// handle closes: so every entry is first moved, through its handle, beside
// the source (the deepest first, each folder empty when it goes), and then
// every one, and the empty source, marked for deletion. Any refusal takes
// all of that back before a handle closes: the source is then as it was,
// the same files under the same names. False with |*untouched| then;
// without it when an entry could not be given back (the log names where it
// is, and |left| its own name) or lost its read-only mark.
bool DeleteCopiedTree(const CopiedTree& tree,
                      const HeldEntry& parent,
                      HeldEntry* top,
                      const BY_HANDLE_FILE_INFORMATION& top_info,
                      bool* untouched,
                      std::vector<FilePath>* left) {
  *untouched = true;
  std::vector<HeldCopied> held;
  if (!HoldCopiedTree(tree, top, top_info, &held))
    return false;
  const string16 stamp =
      u"." + ASCIIToUTF16(std::to_string(::GetTickCount())) + u".";
  size_t gathered = 0;
  while (gathered + 1 < held.size() &&
         held[held.size() - 1 - gathered].entry.RenameInto(
             parent, GatheredName(held[0].name, stamp, gathered), false)) {
    ++gathered;
  }
  size_t marked = 0;
  if (gathered + 1 == held.size()) {
    // The source last: it is empty now.
    for (; marked < held.size(); ++marked) {
      const HeldCopied& entry = held[held.size() - 1 - marked];
      if (!MarkHeldEntryDeleted(entry.entry, entry.info))
        break;
    }
  }
  if (marked == held.size())
    return true;  // Closing the handles deletes the entries.
  PLOG(ERROR) << "Couldn't delete " << tree.source.AsUTF8Unsafe()
              << "; it stays";
  // The entry that refused its mark is taken back too: its read-only mark,
  // lifted for the deletion, may not have come back.
  const size_t tried = marked + (gathered + 1 == held.size());
  bool unmarked = true;
  for (size_t entry = 0; entry < tried; ++entry) {
    const HeldCopied& mark = held[held.size() - 1 - entry];
    unmarked &= UnmarkHeldEntryDeleted(mark.entry, mark.info);
  }
  *untouched = PutBack(&held, gathered, stamp, left) && unmarked;
  return false;
}

// Whether |path| is one of |left| or below one.
bool IsUnder(const FilePath& path, const std::vector<FilePath>& left) {
  for (const FilePath& name : left) {
    if (name == path || name.AppendRelativePath(path, nullptr))
      return true;
  }
  return false;
}

// Puts back into |source| whatever of it is missing from its full copy at
// |copy|, and gives every entry the attributes it had: deleting it may have
// lifted its read-only mark. Names in |left| (and what is below them) are
// skipped: ours stay beside, and what stands there now is another
// program's.
bool RestoreFromCopy(const FilePath& copy,
                     const FilePath& source,
                     const std::vector<FilePath>& left) {
  uint32_t attributes;
  if (!ReadFileAttributes(copy, &attributes) ||
      attributes == INVALID_FILE_ATTRIBUTES ||
      (!DirectoryExists(source) &&
       !::CreateDirectoryW(as_wcstr(source.value()), nullptr))) {
    return false;
  }
  bool restored = SetAttributes(source, attributes & kSettableAttributes);
  FileEnumerator traversal(copy, true,
                           FileEnumerator::FILES | FileEnumerator::DIRECTORIES);
  for (FilePath current = traversal.Next(); !current.empty();
       current = traversal.Next()) {
    FilePath target = source;
    if (!copy.AppendRelativePath(current, &target))
      return false;
    if (IsUnder(target, left))
      continue;
    const FileEnumerator::FileInfo info = traversal.GetInfo();
    if (!PathExists(target)) {
      restored &= info.IsDirectory()
                      ? ::CreateDirectoryW(as_wcstr(target.value()), nullptr) != 0
                      : CopyFileWritable(current, target, false);
    }
    restored &= SetAttributes(
        target, info.find_data().dwFileAttributes & kSettableAttributes);
  }
  // Whatever the listing did not reach is in the copy only: it must stay.
  return restored && !traversal.failed();
}

// Removes what a failed folder move made, newest first, and only that:
// whatever someone else put beside it stays, and so does every folder that
// holds it. What cannot go stays, named in the log.
void RemoveMade(const std::vector<MadeEntry>& made) {
  for (auto entry = made.rbegin(); entry != made.rend(); ++entry) {
    const std::string path = entry->path.AsUTF8Unsafe();
    // Checked and deleted through one handle, which nobody can rename or
    // replace in between.
    HeldEntry held;
    if (!held.Open(entry->path, HeldEntry::kChange)) {
      if (!IsPathNotFoundError(::GetLastError()))
        PLOG(ERROR) << "A copy stays at " << path;
      continue;
    }
    BY_HANDLE_FILE_INFORMATION now;
    if (!held.ReadInfo(&now) || !entry->identity.SameFile(now)) {
      LOG(ERROR) << "Leaving " << path << ": not known to be the copy made";
      continue;
    }
    if (!DeleteHeld(&held, 0, false))
      PLOG(ERROR) << "A copy stays at " << path;
  }
}

// A folder move where no rename can do it (another volume): copy, then
// delete the source. Either the whole folder arrives, attributes and all,
// and the source is gone, or the source stays as it was and nothing the
// move made is left.
bool MoveFolderByCopy(const FilePath& from_path, const FilePath& to_path) {
  if (!MayCopy(from_path, to_path))
    return false;
  // The source is held from before the copy until its deletion, without
  // delete sharing: nobody renames or replaces it meanwhile, so what is
  // deleted is the folder copied. A link is not moved (read by name first:
  // some systems open what a link points to whatever is asked).
  const DWORD seen = GetAttributes(from_path);
  const string16 name = to_path.BaseName().value();
  HeldEntry source_parent;
  HeldEntry source;
  BY_HANDLE_FILE_INFORMATION source_info;
  HeldEntry target_parent;
  if (seen == INVALID_FILE_ATTRIBUTES ||
      (seen & FILE_ATTRIBUTE_REPARSE_POINT) || !IsWin32Reachable(name) ||
      !source_parent.Open(from_path.DirName(), HeldEntry::kHoldFolder) ||
      !source.OpenIn(source_parent, from_path.BaseName().value(),
                     HeldEntry::DeleteAccess(FILE_ATTRIBUTE_DIRECTORY)) ||
      !source.ReadInfo(&source_info) ||
      (source_info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
      !target_parent.Open(to_path.DirName(), HeldEntry::kHoldFolder)) {
    PLOG(ERROR) << "Couldn't move " << from_path.AsUTF8Unsafe() << " by copy";
    return false;
  }
  // A folder replaces nothing. The target is claimed by making it in its
  // held folder, which fails when it exists: someone else's, however
  // recently, it is left alone. It stays held while it fills.
  HeldEntry target;
  BY_HANDLE_FILE_INFORMATION target_info;
  if (!CopyHeldAs(source, source_info, target_parent, name, &target,
                  &target_info)) {
    PLOG(ERROR) << "Couldn't make " << to_path.AsUTF8Unsafe();
    return false;
  }
  std::vector<MadeEntry> made = {{to_path, IdentityOf(target_info)}};
  // The source is checked against what was copied before anything goes.
  CopiedTree tree;
  tree.source = from_path;
  const bool copied = CopyHeldTree(source, target, to_path, &tree, &made);
  bool deleted = false;
  bool untouched = true;
  std::vector<FilePath> left;
  if (copied) {
    tree.entries[from_path.value()] =
        CopiedEntry{IdentityOf(source_info), std::move(target), target_info};
    deleted = DeleteCopiedTree(tree, source_parent, &source, source_info,
                               &untouched, &left);
  }
  // The copies go free only once the deletion is decided.
  target.Close();
  tree.entries.clear();
  if (deleted)
    return true;
  if (!copied) {
    RemoveMade(made);
    return false;
  }
  // Something went after all: the copy gives it back, and is kept if it
  // cannot, being the only one of what is missing.
  if (untouched || RestoreFromCopy(to_path, from_path, left)) {
    RemoveMade(made);
  } else {
    LOG(ERROR) << "Part of " << from_path.AsUTF8Unsafe() << " is only in "
               << to_path.AsUTF8Unsafe();
  }
  return false;
}

bool MoveWithFlags(const FilePath& from_path,
                   const FilePath& to_path,
                   DWORD flags) {
  if (IsTooLong(from_path) || IsTooLong(to_path))
    return false;
  if (::MoveFileExW(as_wcstr(from_path.value()), as_wcstr(to_path.value()),
                    flags)) {
    return true;
  }
  const DWORD move_error = ::GetLastError();
  // The system moves folders within one volume only. Any other refusal (a
  // file below is open, no access) would stop a copy's deletion of the
  // source as well, half way.
  if (move_error == ERROR_NOT_SAME_DEVICE && DirectoryExists(from_path) &&
      MoveFolderByCopy(from_path, to_path)) {
    return true;
  }
  ::SetLastError(move_error);
  return false;
}

}  // namespace

bool ReadFileAttributes(const FilePath& path, uint32_t* attributes) {
  *attributes = GetAttributes(path);
  return *attributes != INVALID_FILE_ATTRIBUTES ||
         IsPathNotFoundError(::GetLastError());
}

bool PathExists(const FilePath& path) {
  return GetAttributes(path) != INVALID_FILE_ATTRIBUTES;
}

bool DirectoryExists(const FilePath& path) {
  const DWORD attributes = GetAttributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool PathIsWritable(const FilePath& path) {
  win::ScopedHandle dir(::CreateFileW(
      as_wcstr(path.value()), FILE_ADD_FILE,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return dir.IsValid();
}

FilePath MakeAbsoluteFilePath(const FilePath& input) {
  wchar_t buffer[kMaxPathLength];
  if (!_wfullpath(buffer, as_wcstr(input.value()), kMaxPathLength))
    return FilePath();
  return FilePath(as_u16cstr(buffer));
}

namespace {

// |path| without the prefix that turns off the parsing of Win32 names.
string16 WithoutVerbatimPrefix(const string16& path) {
  static const char16 kVerbatim[] = u"\\\\?\\";
  static const char16 kVerbatimUnc[] = u"\\\\?\\UNC\\";
  if (StartsWithIgnoreCase(path, kVerbatimUnc))
    return u"\\\\" + path.substr(ARRAYSIZE(kVerbatimUnc) - 1);
  if (path.compare(0, ARRAYSIZE(kVerbatim) - 1, kVerbatim) == 0)
    return path.substr(ARRAYSIZE(kVerbatim) - 1);
  return path;
}

// What |call| writes for |path| into a buffer it sizes itself; |path| when
// the call fails.
template <typename Call>
string16 PathFromCall(const string16& path, Call call, bool* done) {
  string16 text;
  *done = TextFromCall(
      [&path, &call](wchar_t* buffer, DWORD size) {
        return call(as_wcstr(path), buffer, size);
      },
      &text);
  return *done ? text : path;
}

// |read| once more when it failed for a reason other than absence: the
// failure may be passing (out of resources).
template <typename Read>
IdentityResult ReadRetryingOnce(Read read) {
  IdentityResult result = IDENTITY_FAILED;
  for (int attempt = 0; attempt < 2 && result == IDENTITY_FAILED; ++attempt)
    result = read();
  return result;
}

// The final path of the folder |path| as text, through a handle that asks
// for no access, so that any folder that exists answers.
IdentityResult ReadFolderFinalPath(const FilePath& path, string16* final_path) {
  return ReadRetryingOnce([&path, final_path] {
    win::ScopedHandle folder(::CreateFileW(
        as_wcstr(path.value()), 0,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!folder.IsValid()) {
      return IsPathNotFoundError(::GetLastError()) ? IDENTITY_ABSENT
                                                   : IDENTITY_FAILED;
    }
    return GetFinalPath(folder.Get(), final_path) ? IDENTITY_READ
                                                  : IDENTITY_FAILED;
  });
}

}  // namespace

string16 GetFileKey(const FilePath& path, bool* exact) {
  bool done = false;
  const FilePath full(PathFromCall(
      WithoutVerbatimPrefix(path.value()),
      [](const wchar_t* name, wchar_t* buffer, DWORD size) {
        return ::GetFullPathNameW(name, size, buffer, nullptr);
      },
      &done));
  if (exact)
    *exact = true;
  // The file goes by its name in its folder, the same before and after it
  // is made; its long name when it exists.
  FileIdentity file;
  const IdentityResult own =
      ReadRetryingOnce([&full, &file] { return GetFileIdentity(full, &file); });
  if (own == IDENTITY_FAILED) {
    // Its name as given may be a short one, which other names do not share.
    PLOG(ERROR) << full.AsUTF8Unsafe() << " not resolved; keyed by its name";
    if (exact)
      *exact = false;
  }
  std::vector<FilePath> below = {own == IDENTITY_READ
                                     ? FilePath(file.final_path).BaseName()
                                     : full.BaseName()};
  // The deepest existing folder carries the names below it by its final
  // path, whatever names reach it (short names, links, device forms): text
  // that stays the same when a folder on the way is made or replaced.
  string16 key = full.value();
  for (FilePath level = full.DirName(); level != full;
       level = level.DirName()) {
    string16 final_path;
    const IdentityResult result = ReadFolderFinalPath(level, &final_path);
    if (result == IDENTITY_FAILED) {
      // Taken as absent, it would key the file by a folder above.
      PLOG(ERROR) << level.AsUTF8Unsafe() << " not resolved; "
                  << full.AsUTF8Unsafe() << " keyed by its full path";
      if (exact)
        *exact = false;
      break;
    }
    if (result == IDENTITY_READ) {
      FilePath found(WithoutVerbatimPrefix(final_path));
      for (auto name = below.rbegin(); name != below.rend(); ++name)
        found = found.Append(name->value());
      key = found.value();
      break;
    }
    if (level.DirName() == level)
      break;
    below.push_back(level.BaseName());
  }
  string16 upper(key.size(), 0);
  if (!key.empty() &&
      !::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, as_wcstr(key),
                       static_cast<int>(key.size()),
                       as_writable_wcstr(&upper[0]),
                       static_cast<int>(upper.size()), nullptr, nullptr, 0)) {
    return key;
  }
  return upper;
}

bool GetFileInfo(const FilePath& file_path, File::Info* info) {
  WIN32_FILE_ATTRIBUTE_DATA attributes;
  if (!::GetFileAttributesExW(as_wcstr(file_path.value()),
                              GetFileExInfoStandard, &attributes)) {
    return false;
  }
  info->size = (static_cast<int64_t>(attributes.nFileSizeHigh) << 32) |
               attributes.nFileSizeLow;
  info->is_directory =
      (attributes.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  info->last_modified = Time::FromFileTime(attributes.ftLastWriteTime);
  info->last_accessed = Time::FromFileTime(attributes.ftLastAccessTime);
  info->creation_time = Time::FromFileTime(attributes.ftCreationTime);
  return true;
}

bool GetFileSize(const FilePath& file_path, int64_t* file_size) {
  File::Info info;
  if (!GetFileInfo(file_path, &info))
    return false;
  *file_size = info.size;
  return true;
}

bool GetTempDir(FilePath* path) {
  wchar_t buffer[kMaxPathLength + 1];
  const DWORD length = ::GetTempPathW(kMaxPathLength, buffer);
  if (length == 0 || length >= kMaxPathLength)
    return false;
  *path = FromBuffer(buffer);
  return true;
}

FilePath GetHomeDir() {
  wchar_t buffer[kMaxPathLength];
  if (SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_PROFILE, nullptr,
                                   SHGFP_TYPE_CURRENT, buffer)) &&
      buffer[0]) {
    return FilePath(as_u16cstr(buffer));
  }
  FilePath temp;
  if (GetTempDir(&temp))
    return temp;
  return FilePath(u"C:\\");
}

bool GetCurrentDirectory(FilePath* dir) {
  wchar_t buffer[kMaxPathLength + 1];
  const DWORD length = ::GetCurrentDirectoryW(kMaxPathLength, buffer);
  if (length == 0 || length > kMaxPathLength)
    return false;
  *dir = FromBuffer(buffer);
  return true;
}

bool CreateTemporaryFileInDir(const FilePath& dir, FilePath* temp_file) {
  wchar_t temp_name[MAX_PATH + 1];
  if (!::GetTempFileNameW(as_wcstr(dir.value()), L"", 0, temp_name))
    return false;
  wchar_t long_name[kMaxPathLength + 1];
  const DWORD long_length =
      ::GetLongPathNameW(temp_name, long_name, kMaxPathLength);
  if (long_length > 0 && long_length < kMaxPathLength)
    *temp_file = FilePath(as_u16cstr(long_name));
  else
    *temp_file = FilePath(as_u16cstr(temp_name));
  return true;
}

bool CreateTemporaryFile(FilePath* path) {
  FilePath temp_dir;
  if (GetTempDir(&temp_dir) && CreateTemporaryFileInDir(temp_dir, path))
    return true;
  *path = FilePath();
  return false;
}

bool CreateDirectoryAndGetError(const FilePath& full_path, File::Error* error) {
  const DWORD attributes = GetAttributes(full_path);
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
      return true;
    if (error)
      *error = File::FILE_ERROR_NOT_A_DIRECTORY;
    return false;
  }

  const FilePath parent = full_path.DirName();
  if (parent.value() == full_path.value()) {
    if (error)
      *error = File::FILE_ERROR_NOT_FOUND;
    return false;
  }
  if (!CreateDirectoryAndGetError(parent, error))
    return false;

  if (::CreateDirectoryW(as_wcstr(full_path.value()), nullptr))
    return true;
  const DWORD error_code = ::GetLastError();
  if (error_code == ERROR_ALREADY_EXISTS && DirectoryExists(full_path)) {
    // Someone else made it meanwhile.
    return true;
  }
  if (error)
    *error = File::OSErrorToFileError(error_code);
  ::SetLastError(error_code);
  return false;
}

bool CreateDirectory(const FilePath& full_path) {
  return CreateDirectoryAndGetError(full_path, nullptr);
}

bool DeleteFile(const FilePath& path, bool recursive) {
  if (path.empty())
    return true;
  if (IsTooLong(path))
    return false;

  // Only a path that is not there counts as deleted; one that cannot be
  // read (no access, in use) may well still be there. With a pattern, that
  // is the folder searched: listing a missing one fails.
  const string16 base_name = path.BaseName().value();
  const bool pattern = base_name.find_first_of(u"*?") != string16::npos;
  uint32_t attributes;
  if (!ReadFileAttributes(pattern ? path.DirName() : path, &attributes))
    return false;
  if (attributes == INVALID_FILE_ATTRIBUTES)
    return true;
  if (!pattern)
    return DeletePath(path, attributes, recursive);
  HeldEntry folder;
  if (!folder.Open(path.DirName(), HeldEntry::kHoldFolder)) {
    PLOG(ERROR) << "Couldn't open " << path.DirName().AsUTF8Unsafe();
    return false;
  }
  return DeleteHeldContents(folder, base_name, recursive);
}

bool CopyFile(const FilePath& from_path, const FilePath& to_path) {
  if (from_path.ReferencesParent() || to_path.ReferencesParent())
    return false;
  return CopyFileWritable(from_path, to_path, true);
}

bool CopyFileWithoutReplacing(const FilePath& from_path,
                              const FilePath& to_path) {
  if (from_path.ReferencesParent() || to_path.ReferencesParent())
    return false;
  return CopyFileWritable(from_path, to_path, false);
}

bool CopyDirectory(const FilePath& from_path, const FilePath& to_path) {
  if (!MayCopy(from_path, to_path) || !PathExists(from_path))
    return false;
  // The folder itself goes into an existing target.
  const FilePath from_path_base =
      DirectoryExists(to_path) ? from_path.DirName() : from_path;
  return CopyEntries(from_path, to_path, from_path_base);
}

bool Move(const FilePath& from_path, const FilePath& to_path) {
  if (from_path.ReferencesParent() || to_path.ReferencesParent())
    return false;
  return MoveUnsafe(from_path, to_path);
}

bool MoveUnsafe(const FilePath& from_path, const FilePath& to_path) {
  return MoveWithFlags(from_path, to_path,
              MOVEFILE_COPY_ALLOWED | MOVEFILE_REPLACE_EXISTING);
}

bool MoveWithoutReplacing(const FilePath& from_path, const FilePath& to_path) {
  return MoveWithFlags(from_path, to_path, MOVEFILE_COPY_ALLOWED);
}

bool ReplaceFile(const FilePath& from_path, const FilePath& to_path) {
  if (::MoveFileW(as_wcstr(from_path.value()), as_wcstr(to_path.value())))
    return true;
  if (::ReplaceFileW(as_wcstr(to_path.value()), as_wcstr(from_path.value()),
                     nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                     nullptr)) {
    return true;
  }
  // ReplaceFileW can fail after the replaced file is gone, the new one
  // still under its own name: that is then the only copy, so it goes into
  // place.
  const DWORD replace_error = ::GetLastError();
  uint32_t attributes;
  if (ReadFileAttributes(to_path, &attributes) &&
      attributes == INVALID_FILE_ATTRIBUTES &&
      ::MoveFileExW(as_wcstr(from_path.value()), as_wcstr(to_path.value()),
                    0)) {
    return true;
  }
  ::SetLastError(replace_error);
  return false;
}

FILE* OpenFile(const FilePath& filename) {
  return _wfsopen(as_wcstr(filename.value()), L"rb", _SH_DENYNO);
}

bool ReadFileToStringWithMaxSize(const FilePath& path,
                                 std::string* contents,
                                 size_t max_size) {
  if (contents)
    contents->clear();
  if (path.ReferencesParent())
    return false;
  FILE* file = OpenFile(path);
  if (!file)
    return false;
  const bool result =
      internal::ReadStreamToStringWithMaxSize(file, contents, max_size);
  fclose(file);
  return result;
}

bool ReadFileToString(const FilePath& path, std::string* contents) {
  return ReadFileToStringWithMaxSize(path, contents,
                                     std::numeric_limits<size_t>::max());
}

int ReadFile(const FilePath& filename, char* data, int max_size) {
  // A negative size would become a huge count and overrun |data|.
  if (max_size < 0)
    return -1;
  win::ScopedHandle file(::CreateFileW(
      as_wcstr(filename.value()), GENERIC_READ,
      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
      FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file.IsValid())
    return -1;
  DWORD read;
  if (!::ReadFile(file.Get(), data, static_cast<DWORD>(max_size), &read,
                  nullptr)) {
    return -1;
  }
  return static_cast<int>(read);
}

int WriteFile(const FilePath& filename, const char* data, int size) {
  // Checked before the file is opened: the open would empty it.
  if (size < 0)
    return -1;
  win::ScopedHandle file(::CreateFileW(as_wcstr(filename.value()),
                                       GENERIC_WRITE, 0, nullptr,
                                       CREATE_ALWAYS, 0, nullptr));
  if (!file.IsValid())
    return -1;
  DWORD written;
  if (!::WriteFile(file.Get(), data, static_cast<DWORD>(size), &written,
                   nullptr) ||
      static_cast<int>(written) != size) {
    return -1;
  }
  return size;
}

bool AppendToFile(const FilePath& filename, const char* data, int size) {
  if (size < 0)
    return false;
  win::ScopedHandle file(::CreateFileW(as_wcstr(filename.value()),
                                       FILE_APPEND_DATA, 0, nullptr,
                                       OPEN_EXISTING, 0, nullptr));
  if (!file.IsValid()) {
    FILE_VPLOG(1) << "CreateFile failed for path "
                  << filename.AsUTF8Unsafe();
    return false;
  }
  DWORD written;
  if (!::WriteFile(file.Get(), data, static_cast<DWORD>(size), &written,
                   nullptr)) {
    FILE_VPLOG(1) << "Writing file " << filename.AsUTF8Unsafe() << " failed";
    return false;
  }
  if (static_cast<int>(written) != size) {
    FILE_VPLOG(1) << "Only wrote " << written << " out of " << size
                  << " byte(s) to " << filename.AsUTF8Unsafe();
    return false;
  }
  return true;
}

}  // namespace base
