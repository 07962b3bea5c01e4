#include "desktop/windows/installer/service/transactions/transaction.h"

#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace installer {
namespace {

typedef std::vector<std::string> Events;

// Records "execute X", "rollback X" and "destroy X" into a shared journal;
// its Execute first adds the given sub-operations, then succeeds or fails.
class RecordingOperation : public Operation {
 public:
  RecordingOperation(const std::string& name, Events* events, bool succeed)
      : name_(name), events_(events), succeed_(succeed) {}
  ~RecordingOperation() override { events_->push_back("destroy " + name_); }

  // Takes |sub| and adds it during Execute.
  RecordingOperation* AddSub(RecordingOperation* sub) {
    subs_.push_back(sub);
    return this;
  }

  bool Execute(Transaction* prerequisites) override {
    events_->push_back("execute " + name_);
    // Once handed over the subs belong to the transaction, win or lose.
    std::vector<RecordingOperation*> subs;
    subs.swap(subs_);
    for (size_t i = 0; i < subs.size(); ++i) {
      if (!prerequisites->AddAndExecute(subs[i])) {
        for (size_t j = i + 1; j < subs.size(); ++j)
          delete subs[j];
        return false;
      }
    }
    return succeed_;
  }

  void Rollback() override { events_->push_back("rollback " + name_); }

 private:
  std::string name_;
  Events* events_;
  bool succeed_;
  std::vector<RecordingOperation*> subs_;
};

class TransactionTest : public testing::Test {
 protected:
  RecordingOperation* Op(const std::string& name, bool succeed = true) {
    return new RecordingOperation(name, &events_, succeed);
  }
  Events Take() {
    Events events;
    events.swap(events_);
    return events;
  }

  Events events_;
};

TEST_F(TransactionTest, CommitDestroysOldestFirstWithSubsBeforeParent) {
  {
    Transaction transaction;
    EXPECT_TRUE(transaction.AddAndExecute(Op("x")));
    EXPECT_TRUE(transaction.AddAndExecute(
        Op("p")->AddSub(Op("a"))->AddSub(Op("b"))));
    EXPECT_EQ((Events{"execute x", "execute p", "execute a", "execute b"}),
              Take());
  }
  EXPECT_EQ((Events{"destroy x", "destroy a", "destroy b", "destroy p"}),
            Take());
}

TEST_F(TransactionTest, RollbackIsNewestFirstThenDestroysOldestFirst) {
  Transaction transaction;
  // Two levels of nesting: c's sub d stands before c, before b.
  EXPECT_TRUE(transaction.AddAndExecute(Op("a")));
  EXPECT_TRUE(transaction.AddAndExecute(
      Op("b")->AddSub(Op("c")->AddSub(Op("d")))));
  Take();
  transaction.Rollback();
  EXPECT_EQ((Events{"rollback b", "rollback c", "rollback d", "rollback a",
                    "destroy a", "destroy d", "destroy c", "destroy b"}),
            Take());
  // Rolled back once: the second rollback and the commit find nothing.
  transaction.Rollback();
  EXPECT_TRUE(Take().empty());
}

TEST_F(TransactionTest, FailureAfterSubsUndoesOnlyThatOperation) {
  {
    Transaction transaction;
    EXPECT_TRUE(transaction.AddAndExecute(Op("kept")));
    Take();
    EXPECT_FALSE(transaction.AddAndExecute(
        Op("p", false)->AddSub(Op("a"))->AddSub(Op("b"))));
    EXPECT_EQ((Events{"execute p", "execute a", "execute b", "rollback p",
                      "rollback b", "rollback a", "destroy a", "destroy b",
                      "destroy p"}),
              Take());
  }
  // The transaction still holds only what it held before.
  EXPECT_EQ((Events{"destroy kept"}), Take());
}

TEST_F(TransactionTest, FailingSubStopsItsParent) {
  Transaction transaction;
  EXPECT_FALSE(transaction.AddAndExecute(
      Op("p")->AddSub(Op("a"))->AddSub(Op("bad", false))->AddSub(Op("c"))));
  EXPECT_EQ((Events{"execute p", "execute a", "execute bad", "rollback bad",
                    "destroy bad", "destroy c", "rollback p", "rollback a",
                    "destroy a", "destroy p"}),
            Take());
  transaction.Rollback();
  EXPECT_TRUE(Take().empty());
}

TEST_F(TransactionTest, EmptyAndAppended) {
  {
    Transaction empty;
    empty.Rollback();
    empty.Rollback();
  }
  EXPECT_TRUE(Take().empty());
  {
    Transaction transaction;
    transaction.Append(Op("appended"));
    EXPECT_TRUE(Take().empty()) << "Append must not execute";
  }
  EXPECT_EQ((Events{"destroy appended"}), Take());
}

}  // namespace
}  // namespace installer
