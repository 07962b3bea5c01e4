#include "base/bind.h"

#include <memory>
#include <string>

#include "base/callback.h"
#include "base/memory/ref_counted.h"
#include "base/memory/weak_ptr.h"
#include "gtest/gtest.h"

namespace base {
namespace {

int Add(int a, int b) {
  return a + b;
}

void Append(std::string* out, const std::string& text) {
  out->append(text);
}

class Counter {
 public:
  void Increment() { ++count_; }
  void IncrementBy(int n) { count_ += n; }
  int count() const { return count_; }
  WeakPtr<Counter> AsWeakPtr() { return weak_factory_.GetWeakPtr(); }

 private:
  int count_ = 0;
  WeakPtrFactory<Counter> weak_factory_{this};
};

class RefCountedCounter : public RefCountedThreadSafe<RefCountedCounter> {
 public:
  explicit RefCountedCounter(int* destroyed) : destroyed_(destroyed) {}
  void Increment() { ++count; }
  int count = 0;

 private:
  friend class RefCountedThreadSafe<RefCountedCounter>;
  ~RefCountedCounter() { ++*destroyed_; }
  int* destroyed_;
};

// Counts its own destructions through a shared counter.
class DeleteCounter {
 public:
  explicit DeleteCounter(int* deleted) : deleted_(deleted) {}
  ~DeleteCounter() { ++*deleted_; }
  void Touch() { touched = true; }
  bool touched = false;

 private:
  int* deleted_;
};

TEST(BindTest, BindsLeadingArgumentsOfFunctionsMethodsAndLambdas) {
  EXPECT_EQ(5, Bind(&Add, 2, 3).Run());
  Callback<int(int)> add2 = Bind(&Add, 2);
  EXPECT_EQ(7, add2.Run(5));
  EXPECT_EQ(9, add2.Run(7));  // Running does not consume the callback.

  std::string out;
  Bind(&Append, &out, std::string("ab")).Run();
  Bind(&Append, &out).Run("cd");
  EXPECT_EQ("abcd", out);

  Counter counter;
  Bind(&Counter::Increment, &counter).Run();
  Bind(&Counter::IncrementBy, Unretained(&counter)).Run(4);
  EXPECT_EQ(5, Bind(&Counter::count, &counter).Run());

  int seen = 0;
  Bind([&seen](int a, int b) { seen = a * b; }, 6).Run(7);
  EXPECT_EQ(42, seen);

  // A callback can itself be bound further.
  EXPECT_EQ(11, Bind(Bind(&Add), 5).Run(6));
}

TEST(BindTest, BoundValuesAreCopiedAtBindTime) {
  std::string text = "before";
  std::string out;
  Closure closure = Bind(&Append, &out, text);
  text = "after";
  closure.Run();
  EXPECT_EQ("before", out);
}

TEST(BindTest, RefCountedReceiverIsKeptAliveByTheCallback) {
  int destroyed = 0;
  Closure closure;
  {
    scoped_refptr<RefCountedCounter> counter(new RefCountedCounter(&destroyed));
    closure = Bind(&RefCountedCounter::Increment, counter);
  }
  EXPECT_EQ(0, destroyed);
  closure.Run();
  Closure copy = closure;
  closure.Reset();
  EXPECT_EQ(0, destroyed);
  copy.Reset();
  EXPECT_EQ(1, destroyed);
}

TEST(BindTest, OwnedObjectIsDeletedWithTheLastCopy) {
  int deleted = 0;
  DeleteCounter* object = new DeleteCounter(&deleted);
  Closure closure = Bind(&DeleteCounter::Touch, Owned(object));
  closure.Run();
  EXPECT_TRUE(object->touched);
  Closure copy = closure;
  closure = Closure();
  EXPECT_EQ(0, deleted);
  copy = Closure();
  EXPECT_EQ(1, deleted);

  // Never run: still deleted.
  Bind(&DeleteCounter::Touch, Owned(new DeleteCounter(&deleted)));
  EXPECT_EQ(2, deleted);
}

TEST(BindTest, WeakMethodDoesNothingOnceTheTargetIsGone) {
  auto counter = std::make_unique<Counter>();
  Closure closure = Bind(&Counter::Increment, counter->AsWeakPtr());
  Callback<void(int)> by = Bind(&Counter::IncrementBy, counter->AsWeakPtr());
  EXPECT_FALSE(closure.IsCancelled());
  closure.Run();
  by.Run(2);
  EXPECT_EQ(3, counter->count());

  counter.reset();
  EXPECT_TRUE(closure.IsCancelled());
  EXPECT_TRUE(by.IsCancelled());
  closure.Run();  // Must not touch freed memory (the sanitizers would tell).
  by.Run(1);

  // A null weak pointer is cancelled from the start.
  Closure null_target = Bind(&Counter::Increment, WeakPtr<Counter>());
  EXPECT_TRUE(null_target.IsCancelled());
  null_target.Run();
}

TEST(CallbackTest, CopyMoveAssignAndReset) {
  int deleted = 0;
  Closure a = Bind(&DeleteCounter::Touch, Owned(new DeleteCounter(&deleted)));
  EXPECT_FALSE(a.is_null());
  EXPECT_FALSE(a.IsCancelled());

  // Self-assignment keeps the state alive.
  Closure& self = a;
  a = self;
  EXPECT_EQ(0, deleted);
  a = std::move(self);
  EXPECT_EQ(0, deleted);
  ASSERT_FALSE(a.is_null());
  a.Run();

  Closure b = a;
  EXPECT_TRUE(a.Equals(b));
  Closure c = std::move(a);
  EXPECT_TRUE(a.is_null());
  EXPECT_TRUE(c.Equals(b));

  // Assigning a different state releases the old one only at its last copy.
  c = Bind(&DeleteCounter::Touch, Owned(new DeleteCounter(&deleted)));
  EXPECT_EQ(0, deleted);
  b = std::move(c);
  EXPECT_EQ(1, deleted);
  EXPECT_TRUE(c.is_null());
  b.Reset();
  EXPECT_EQ(2, deleted);

  Closure empty;
  empty.Reset();  // Harmless.
  EXPECT_TRUE(empty.is_null());
  EXPECT_TRUE(empty.IsCancelled());
}

// The bound values' destructor may reach the callback that held them.
struct ResetsOnDestruction {
  Closure* holder;
  ~ResetsOnDestruction() {
    EXPECT_TRUE(holder->is_null());
    holder->Reset();
  }
};

void TakesResetter(const std::shared_ptr<ResetsOnDestruction>&) {}

TEST(CallbackTest, ResetEmptiesTheHandleBeforeDestroyingTheState) {
  Closure closure;
  closure = Bind(&TakesResetter, std::shared_ptr<ResetsOnDestruction>(
                                     new ResetsOnDestruction{&closure}));
  closure.Reset();
  EXPECT_TRUE(closure.is_null());
}

}  // namespace
}  // namespace base
