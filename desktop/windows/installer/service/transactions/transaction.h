#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_TRANSACTION_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_TRANSACTION_H_

#include <memory>
#include <vector>

#include "desktop/windows/installer/service/transactions/operation.h"

namespace installer {

// The executed operations of one set of changes, in the order they
// succeeded; an operation's sub-operations stand right before it. Either
// Rollback undoes them all (newest first), or destroying the transaction
// commits them (oldest first).
//
//   Transaction transaction;
//   if (!transaction.AddAndExecute(new SomeOperation(...)) ||
//       !transaction.AddAndExecute(new OtherOperation(...))) {
//     transaction.Rollback();
//   }
//   // Going out of scope commits what is left.
class Transaction {
 public:
  Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  // Commits: destroys every operation, oldest first.
  ~Transaction();

  // Executes |op| and always takes it. On success it joins the transaction
  // behind the sub-operations its Execute added; on failure it and they are
  // rolled back and destroyed. Returns the result of Execute.
  bool AddAndExecute(Operation* op);

  // Rolls back every operation, newest first, then destroys them oldest
  // first. The transaction is empty afterwards.
  void Rollback();

  // Takes |op| at the end without executing it.
  void Append(Operation* op);

 private:
  std::vector<std::unique_ptr<Operation>> operations_;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_TRANSACTION_H_
