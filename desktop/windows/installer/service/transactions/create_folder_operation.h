#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_CREATE_FOLDER_OPERATION_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_CREATE_FOLDER_OPERATION_H_

#include <string>
#include <vector>

#include "base/files/file_path.h"
#include "desktop/windows/installer/service/transactions/operation.h"

namespace installer {

// Creates a folder with every missing level; a rollback removes exactly the
// levels it created, deepest first, as far as they are empty.
class CreateFolderOperation : public Operation {
 public:
  explicit CreateFolderOperation(const base::FilePath& path);
  ~CreateFolderOperation() override;

  bool Execute(Transaction* prerequisites) override;
  void Rollback() override;

 private:
  // A level this operation made, and what it was when made.
  struct MadeLevel {
    base::FilePath path;
    std::wstring identity;
  };

  // Makes every level from below |valid_ancestor_| down to |path_|.
  bool MakeLevels();

  base::FilePath path_;
  // The nearest folder that existed before; empty when nothing was created.
  base::FilePath valid_ancestor_;
  // The levels made, top first.
  std::vector<MadeLevel> made_;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_CREATE_FOLDER_OPERATION_H_
