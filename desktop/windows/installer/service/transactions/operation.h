#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_OPERATION_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_OPERATION_H_

namespace installer {

class Transaction;

// One change to the machine that can be undone. The constructor only stores
// its parameters; Execute makes the change; Rollback undoes exactly what
// Execute changed; the destructor commits (deferred work such as removing a
// file that was moved aside, putting back loosened access).
class Operation {
 public:
  Operation() = default;
  Operation(const Operation&) = delete;
  Operation& operator=(const Operation&) = delete;
  virtual ~Operation() = default;

  // Makes the change. Missing preconditions are met by further operations
  // handed to |prerequisites| through AddAndExecute; when that fails,
  // Execute returns false at once. True on success.
  virtual bool Execute(Transaction* prerequisites) = 0;

  // Undoes a change that Execute made; does nothing when none was made.
  // Errors are ignored.
  virtual void Rollback() = 0;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_OPERATION_H_
