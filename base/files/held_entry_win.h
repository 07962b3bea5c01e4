#ifndef BASE_FILES_HELD_ENTRY_WIN_H_
#define BASE_FILES_HELD_ENTRY_WIN_H_

#include <windows.h>

#include <vector>

#include "base/files/file_path.h"
#include "base/strings/string16.h"
#include "base/win/scoped_handle.h"

namespace base {

// A file, folder or link opened once, as itself (a link as the link, never
// what it points to), and acted on only through its handle afterwards. A
// name is resolved once; what another program puts at the name later is
// never touched. A folder held with kHoldFolder access and without delete
// sharing cannot be renamed, replaced or deleted while held, so what is
// opened in it is really below it. Failures leave their reason as the
// thread's last error.
class HeldEntry {
 public:
  // Listing and traversing a folder; with the default sharing, nobody else
  // renames or deletes it meanwhile. (An attributes-only handle takes no
  // part in sharing and holds nothing.)
  static constexpr DWORD kHoldFolder =
      FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES;
  // Deleting or renaming an entry, and lifting its read-only mark first.
  static constexpr DWORD kChange =
      DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES;
  // Reading a file that is copied.
  static constexpr DWORD kCopySource = FILE_READ_DATA | FILE_READ_ATTRIBUTES;
  // Deleting an entry seen with |seen| attributes: a folder is listed and
  // emptied first. A file gets no more than kChange: a grant made for its
  // deletion gives no reading.
  static DWORD DeleteAccess(DWORD seen) {
    return kChange | ((seen & FILE_ATTRIBUTE_DIRECTORY) ? kHoldFolder : 0);
  }

  HeldEntry();
  ~HeldEntry();
  HeldEntry(HeldEntry&& other);
  HeldEntry& operator=(HeldEntry&& other);

  // What others may do to a held entry by default: read and write it,
  // never rename or delete it.
  static constexpr DWORD kShareReadWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;

  // Opens the entry at |path| itself for |access|, sharing |share|.
  bool Open(const FilePath& path, DWORD access, DWORD share = kShareReadWrite);
  // Opens |name|, an entry of the folder |folder| holds, as itself.
  bool OpenIn(const HeldEntry& folder,
              const string16& name,
              DWORD access,
              DWORD share = kShareReadWrite);
  // Makes the folder |name| in the folder |folder| holds, and holds it for
  // |access|; fails when anything has that name.
  bool CreateFolderIn(const HeldEntry& folder,
                      const string16& name,
                      DWORD access);
  // Makes the file |name| in the folder |folder| holds, and holds it for
  // |access|, shared with nobody; fails when anything has that name.
  bool CreateFileIn(const HeldEntry& folder,
                    const string16& name,
                    DWORD access);

  // Holds |handle|, opened elsewhere on the entry itself (by its id).
  void Adopt(HANDLE handle) { handle_.Set(handle); }
  bool IsValid() const { return handle_.IsValid(); }
  HANDLE Get() const { return handle_.Get(); }
  void Close() { handle_.Close(); }

  bool ReadInfo(BY_HANDLE_FILE_INFORMATION* info) const;
  // Gives the entry the settable bits of |attributes| (none when zero).
  bool SetAttributes(DWORD attributes) const;
  // Marks the entry for deletion when its last handle closes, or takes the
  // mark back. Windows refuses a read-only file and a folder not empty.
  bool SetDeletePending(bool pending) const;
  // Renames the entry to |name| in the folder |folder| holds, replacing
  // an entry there only with |replace|.
  bool RenameInto(const HeldEntry& folder,
                  const string16& name,
                  bool replace) const;

 private:
  bool OpenRelative(HANDLE root,
                    const string16& name,
                    DWORD access,
                    DWORD share,
                    ULONG disposition,
                    ULONG options);

  win::ScopedHandle handle_;
};

// Whether Win32 names reach an entry named |name| natively: they drop the
// trailing dots and spaces of a path's last name, so an entry made under
// such a name natively could never be named again, and a Win32 call given
// such a name acts on another entry. False, with ERROR_INVALID_NAME as the
// last error, for such a name.
bool IsWin32Reachable(const string16& name);

// The entries of a held folder, listed through its handle, never by name:
// a folder swapped for a link after it was opened is not what is listed.
class HeldFolderListing {
 public:
  // Lists the entries of |folder| whose names match |pattern| (the wildcards
  // of the find functions; empty for all), without "." and "..".
  HeldFolderListing(const HeldEntry& folder, const string16& pattern);
  ~HeldFolderListing();

  // The next entry's name and attributes; false at the end, or when the
  // listing failed (see failed()).
  bool Next(string16* name, DWORD* attributes);
  bool failed() const { return failed_; }

 private:
  bool Fill();

  HANDLE folder_;
  string16 pattern_;
  std::vector<BYTE> buffer_;
  size_t offset_ = 0;
  bool filled_ = false;
  bool first_ = true;
  bool done_ = false;
  bool failed_ = false;
};

// Deletes the file, empty folder or link |entry| holds (with HeldEntry::kChange
// access, |info| read from it) through its handle. The read-only mark is lifted
// for the deletion and belongs to the file, not to the name: it comes back when
// the deletion fails, and for the file's other names when it succeeds. The
// entry is closed.
bool DeleteHeldEntry(HeldEntry* entry, const BY_HANDLE_FILE_INFORMATION& info);
// The same, but the entry stays held, so that the deletion can be taken
// back (UnmarkHeldEntryDeleted, which puts the read-only mark back too)
// until it closes. Windows refuses it for a folder not empty, and counts
// an entry marked so as there until its last handle closes.
bool MarkHeldEntryDeleted(const HeldEntry& entry,
                          const BY_HANDLE_FILE_INFORMATION& info);
bool UnmarkHeldEntryDeleted(const HeldEntry& entry,
                            const BY_HANDLE_FILE_INFORMATION& info);

// Copies the file |source| holds (with kCopySource access, itself, never
// what a link points to) to the new file |name| in the folder |folder|
// holds: its bytes, times and attributes, less the read-only mark, which
// the copy an installer works on must not have. |copy| then holds the copy
// (with kChange access, shared with nobody) and |info| is what it is. A
// copy that fails half way is deleted through its handle: nothing that
// takes the name meanwhile is touched.
bool CopyHeldFile(const HeldEntry& source,
                  const HeldEntry& folder,
                  const string16& name,
                  HeldEntry* copy,
                  BY_HANDLE_FILE_INFORMATION* info);

// Makes the new entry |name| in the folder |to| holds (with kHoldFolder
// access) a copy of the file or folder |source| holds (read as |original|),
// with every attribute it has, the read-only mark too: a file with its
// bytes and times, a folder empty. |copy| then holds the copy (a folder to
// make entries in), and |info| is what it is. A copy that fails half way is
// deleted through its handle.
bool CopyHeldAs(const HeldEntry& source,
                const BY_HANDLE_FILE_INFORMATION& original,
                const HeldEntry& to,
                const string16& name,
                HeldEntry* copy,
                BY_HANDLE_FILE_INFORMATION* info);
// The same for the entry |name| of the folder |from| holds, seen listed
// with |seen| attributes and opened as itself, which |source| then holds (a
// folder to list). A link is refused: it would arrive as what it points to.
bool CopyHeldEntry(const HeldEntry& from,
                   const HeldEntry& to,
                   const string16& name,
                   DWORD seen,
                   HeldEntry* source,
                   HeldEntry* copy,
                   BY_HANDLE_FILE_INFORMATION* info);

// Deletes the entries of the folder |folder| holds (with kHoldFolder
// access) that match |pattern|; when |recursive|, matching subfolders are
// emptied and deleted, else left alone. Every entry is opened in its held
// folder, as itself, and deleted through its handle: a link goes as the
// link, and nothing that takes a name meanwhile is touched.
bool DeleteHeldContents(const HeldEntry& folder,
                        const string16& pattern,
                        bool recursive);

// Deletes what |entry| holds (with DeleteAccess), which was seen with
// |seen| attributes before it was opened (0 when not looked at); a folder
// is emptied first when |recursive|, and must be empty. The entry is
// closed.
bool DeleteHeld(HeldEntry* entry, DWORD seen, bool recursive);

}  // namespace base

#endif  // BASE_FILES_HELD_ENTRY_WIN_H_
