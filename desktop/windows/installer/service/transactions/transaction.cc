#include "desktop/windows/installer/service/transactions/transaction.h"

#include <utility>

#include "base/logging.h"

namespace installer {

Transaction::Transaction() = default;

Transaction::~Transaction() {
  // Oldest first, whatever order the container would choose: preconditions
  // finish their commit work before the operations that relied on them.
  for (std::unique_ptr<Operation>& op : operations_)
    op.reset();
}

bool Transaction::AddAndExecute(Operation* op) {
  CHECK(op);
  std::unique_ptr<Operation> owned(op);
  Transaction subs;
  bool result = owned->Execute(&subs);
  if (result) {
    for (std::unique_ptr<Operation>& sub : subs.operations_)
      operations_.push_back(std::move(sub));
    subs.operations_.clear();
    operations_.push_back(std::move(owned));
  } else {
    // The operation's own change goes first, then the preconditions it
    // created for it.
    owned->Rollback();
    subs.Rollback();
    owned.reset();
  }
  return result;
}

void Transaction::Rollback() {
  // Taken out first so that the transaction is empty even while operations
  // run their rollback and destructors.
  std::vector<std::unique_ptr<Operation>> operations;
  operations.swap(operations_);
  for (auto it = operations.rbegin(); it != operations.rend(); ++it)
    (*it)->Rollback();
  for (std::unique_ptr<Operation>& op : operations)
    op.reset();
}

void Transaction::Append(Operation* op) {
  CHECK(op);
  operations_.push_back(std::unique_ptr<Operation>(op));
}

}  // namespace installer
