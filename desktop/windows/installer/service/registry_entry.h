#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_REGISTRY_ENTRY_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_REGISTRY_ENTRY_H_

#include <stdint.h>

#include <vector>

#include "base/strings/string16.h"

// The registry root handle; the Windows headers make HKEY a pointer to it.
struct HKEY__;

namespace installer {

struct InstallLogRegistryKey;
class Operation;

// HKEY on Windows; portable code only compares and passes it on.
using RegistryRoot = HKEY__*;

// Row types beyond the Windows value types.
constexpr uint32_t kRowRemoveValue = 0xFFFFFFFF;
constexpr uint32_t kRowDeleteKey = 0xFFFFFFFE;

// Fills the {Name} variables of registry templates and tells where written
// values are recorded.
class VariableExpander {
 public:
  virtual ~VariableExpander() = default;
  // The text that replaces {name}.
  virtual string16 Expand(const string16& name) = 0;
  // The install log's key list for |root|, or null to record nothing.
  virtual std::vector<InstallLogRegistryKey>* GetRegistryLog(
      RegistryRoot root) = 0;
};

// One row of a static registry table.
struct RegistryEntryRow {
  // Key path below the root, with {Name} variables.
  const char16* key;
  // Null for the key's default value.
  const char16* value_name;
  // REG_NONE, REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD, kRowRemoveValue
  // or kRowDeleteKey.
  uint32_t type;
  // REG_SZ and REG_EXPAND_SZ: a const char16* template (null = empty);
  // REG_BINARY: a const char* whose bytes before the NUL are the data;
  // REG_DWORD: the number itself, at most 0xFFFFFFFF. Ignored otherwise.
  uint64_t data;
  // The OSInfo::Version the running Windows must reach.
  int32_t min_windows_version;
  // Null: any root; else only this root.
  RegistryRoot root;
  // The lowest build channel the row applies to.
  int32_t min_channel;
  // Passed to the install log with the value.
  int32_t clean_level;
};

// Turns one template row into the operation that writes it.
//
//   for (const RegistryEntryRow& row : kRows) {
//     Operation* op = nullptr;
//     if (!RegistryEntry(row, &expander).CreateOperation(root, &op) ||
//         (op && !transaction.AddAndExecute(op))) {
//       transaction.Rollback();
//       break;
//     }
//   }
class RegistryEntry {
 public:
  // What a row writes under one root.
  struct Change {
    Change();
    Change(const Change& other);
    Change& operator=(const Change& other);
    ~Change();

    bool applies = false;
    bool delete_key = false;
    string16 key;
    string16 value_name;
    uint32_t type = 0;
    std::vector<uint8_t> data;
  };

  // Copies |row|; |expander| is the caller's and must outlive this.
  RegistryEntry(const RegistryEntryRow& row, VariableExpander* expander);
  ~RegistryEntry();

#if defined(_WIN32)
  // Builds the operation for the row under |root| and records the value
  // in the install log; it executes nothing. True with a null |op| when the
  // row does not apply here; false when the row is invalid.
  bool CreateOperation(RegistryRoot root, Operation** op);
#endif

  // The template with every {Name} replaced by what the expander supplies,
  // which is taken literally: the search goes on after it. Empty for a null
  // template.
  string16 ExpandTemplate(const char16* text) const;

  // The platform-free part of CreateOperation: false when the row is
  // invalid; |change->applies| false when it does not apply under |root|
  // on this Windows version and build channel.
  bool BuildChange(RegistryRoot root,
                   int windows_version,
                   int channel,
                   Change* change) const;

  // Records a value change in the install log of |root|, if any.
  void RecordChange(RegistryRoot root, const Change& change) const;

 private:
  RegistryEntryRow row_;
  VariableExpander* expander_;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_REGISTRY_ENTRY_H_
