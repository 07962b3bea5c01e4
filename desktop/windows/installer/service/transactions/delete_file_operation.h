#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_DELETE_FILE_OPERATION_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_DELETE_FILE_OPERATION_H_

#include <windows.h>
#include <stdint.h>

#include <memory>
#include <string>

#include "base/files/file_path.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/service/transactions/operation.h"
#include "desktop/windows/installer/service/utils.h"

namespace base {
class HeldEntry;
}

namespace installer {

struct SavedAccess;

// Reads the attributes of |path|; INVALID_FILE_ATTRIBUTES (0xFFFFFFFF) when
// nothing is there. False, logged, when the reading fails for any other
// reason (no access, a lost network folder): then |path| may well exist,
// and must not be treated as free.
bool ReadAttributes(const base::FilePath& path, uint32_t* attributes);

// |path| under the entry's own name: a short (8.3) name or another case
// that the caller gave is only an alias, and what is put back must get its
// own name again. |path| itself when nothing is there to ask.
base::FilePath OwnName(const base::FilePath& path);

// Moves |from| back to |to|, which a change left free, for a rollback. It
// never replaces what took |to| since (a moved file whose move back failed):
// then both stay, each under its own name, and the names are logged.
bool MoveBack(const base::FilePath& from, const base::FilePath& to);

// Deletes a file or folder at commit. Execute only renames it to
// "<path>.<seconds since 1970>.old" beside itself, so that a rollback can
// rename it back; the destructor removes it (or schedules its removal for
// the next restart) and, when asked, the folders it leaves empty.
class DeleteFileOperation : public Operation {
 public:
  // |check_in_use|: refuse to delete an .exe or .dll that cannot be opened
  // for writing (a running program). |remove_empty_parents|: at commit,
  // remove the folders above |path| that became empty.
  DeleteFileOperation(const base::FilePath& path,
                      bool check_in_use,
                      bool remove_empty_parents);
  ~DeleteFileOperation() override;

  bool Execute(Transaction* prerequisites) override;
  void Rollback() override;

  // The name |path| is moved to when deleted at |seconds| since 1970.
  static base::FilePath TemporaryPath(const base::FilePath& path,
                                      int64_t seconds);

 private:
  // Widens the user's access to the file |entry| has open, |path_|, when
  // it is too narrow, and then knows it by |moved_|.
  bool EnsureAccess(base::win::ScopedHandle* entry);
  // Renames the file |identity| names, and nothing that took its name, to
  // |temporary_path_| through its handle; its list goes back when it is
  // not there.
  bool MoveAside(const std::wstring& identity);
  // Puts the list and attributes of before the grant back on the file
  // granted, wherever it is named now.
  void PutBackGranted();
  // Opens what Execute moved aside by its id, for |access|, when its name
  // is gone (a later operation moved its folder); false when it is not
  // there either.
  bool OpenMovedById(DWORD access, base::HeldEntry* moved);
  // The running-program test; moves the file back when it fails.
  bool CheckNotInUse();
  // Holds the folder of |path_| in |folder| and opens in it, for |access|,
  // what stands under the temporary name: true only when that is what
  // Execute moved there. Whatever another program put there since is left
  // alone.
  bool OpenMoved(DWORD access, base::HeldEntry* folder, base::HeldEntry* moved);
  // The commit's work: deletes what Execute moved aside, or has the system
  // delete it at the next restart. A granted file that stays gets its list
  // back.
  void DeleteMoved();
  // Rollback's work after Execute: gives what was moved its name back, and
  // its access list and attributes, through one handle.
  void MoveBackMoved();

  base::FilePath path_;
  base::FilePath temporary_path_;
  bool executed_ = false;
  // The file stays under |temporary_path_|: its move back failed.
  bool stranded_ = false;
  bool check_in_use_;
  bool remove_empty_parents_;
  // The access list before it was widened; put back when the file comes
  // back on rollback.
  std::unique_ptr<SavedAccess> saved_access_;
  // The file moved aside (and granted), by its id: it is opened again
  // wherever a later operation moved its folder, and nothing of ours stays
  // open below that folder meanwhile.
  FileReference moved_;
  bool moved_known_ = false;
  uint32_t attributes_ = 0;
  // What Execute moved to |temporary_path_| (FileObjectIdentity).
  std::wstring identity_;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_DELETE_FILE_OPERATION_H_
