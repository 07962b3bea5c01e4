#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_DELETE_REG_KEY_OPERATION_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_DELETE_REG_KEY_OPERATION_H_

#if defined(_WIN32)

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "desktop/windows/installer/service/transactions/operation.h"
#include "desktop/windows/installer/service/utils.h"

namespace installer {

struct SavedRegistryValue {
  std::wstring name;
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
};

// One deleted key: its path below the root, its security and its values.
struct SavedRegistryKey {
  SavedRegistryKey();
  ~SavedRegistryKey();

  std::wstring name;
  // A link comes back as a link; its target is its SymbolicLinkValue.
  bool link = false;
  bool is_volatile = false;
  // Deleted by Execute: a key there at rollback was made again by another
  // program. Otherwise it never went.
  bool deleted = false;
  std::vector<BYTE> security_descriptor;
  // When access had to be widened to delete the key: a descriptor with the
  // access list from before, which the rebuilt key gets back.
  std::vector<BYTE> original_dacl;
  // Its owner (a SID), from before ownership was taken to delete it.
  std::vector<BYTE> owner;
  std::vector<SavedRegistryValue> values;
  // The key as it was deleted, held: the lists and values kept for it by
  // other operations are matched by it, never by its name.
  HKEY handle = nullptr;
};

// Deletes a key tree after saving every key of it, so that a rollback can
// rebuild it with its values, their types and the keys' security.
class DeleteRegKeyOperation : public Operation {
 public:
  DeleteRegKeyOperation(HKEY root, const std::wstring& key);
  // Deletes the key named by the last level of |key| below |parent|, and
  // only while it is the key |only| is open on (or the key a rollback made
  // again in its place); both handles are duplicated.
  DeleteRegKeyOperation(HKEY root,
                        const std::wstring& key,
                        HKEY parent,
                        HKEY only);
  ~DeleteRegKeyOperation() override;

  bool Execute(Transaction* prerequisites) override;
  void Rollback() override;

 private:
  // Saves and deletes |key_name| (|relative| below the open |parent|) and
  // everything below it, deepest keys first; a key's record stands before
  // those of the keys below it. A link is saved and deleted itself, never
  // what it points to.
  bool DeleteAndSaveRecursive(HKEY parent,
                              const std::wstring& relative,
                              const std::wstring& key_name,
                              const std::wstring& object_name);
  bool SaveKey(HKEY key, const std::wstring& object_name,
               SavedRegistryKey* record);

  // Where a rollback stands, by index of |saved_keys_|.
  struct RebuildState {
    explicit RebuildState(size_t count);
    // Closes every handle.
    ~RebuildState();
    std::vector<HKEY> open;  // the key standing there, opened as itself
    std::vector<bool> made;  // made anew: its security still to come
    std::vector<bool> standing;  // made anew or there again
    std::vector<bool> given_up;  // the key above it stays missing
    std::vector<int> attempts;
  };
  // Makes the key of record |index|, after the saved keys above it and
  // relative to the one right above, with its values. False, with an error
  // line naming it, when it stays missing.
  bool Rebuild(size_t index, RebuildState* state);
  // The key of |record| now standing at |relative| below |base|, opened as
  // itself in |key|: ERROR_SUCCESS when it is a key of its own or the same
  // link, ERROR_FILE_NOT_FOUND when missing; another program's link there
  // is refused.
  LONG OpenStandingKey(HKEY base,
                       const std::wstring& relative,
                       const SavedRegistryKey& record,
                       HKEY* key);
  // Makes the key of |record| at |relative| below |base|; widens the access
  // of the tree's parent once when it denies making it.
  LONG CreateSavedKey(HKEY base,
                      const std::wstring& relative,
                      const SavedRegistryKey& record,
                      HKEY* key,
                      bool* made);

  std::wstring key_;
  HKEY root_;
  // The key above |key_|, held from Execute on: the tree comes back below
  // it, never below whatever bears its name at rollback.
  HKEY parent_ = nullptr;
  // Given a key to delete by handle: without both handles, nothing goes.
  bool held_ = false;
  HKEY only_ = nullptr;
  std::vector<std::unique_ptr<SavedRegistryKey>> saved_keys_;
  // Every access list widened on the way, oldest first: a key that is
  // still there after a failure gets its list back from here.
  std::vector<std::unique_ptr<SavedAccess>> grants_;
  // The parent's list, widened by a rollback to make the tree again.
  std::unique_ptr<SavedAccess> parent_access_;
};

}  // namespace installer

#endif  // defined(_WIN32)

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_DELETE_REG_KEY_OPERATION_H_
