#include "base/memory/ref_counted.h"

#include <atomic>
#include <thread>
#include <vector>

#include "base/bind.h"
#include "base/callback.h"
#include "base/memory/weak_ptr.h"
#include "gtest/gtest.h"

namespace base {
namespace {

class Tracked : public RefCountedThreadSafe<Tracked> {
 public:
  explicit Tracked(std::atomic<int>* destroyed) : destroyed_(destroyed) {}

 private:
  friend class RefCountedThreadSafe<Tracked>;
  ~Tracked() { destroyed_->fetch_add(1); }
  std::atomic<int>* destroyed_;
};

// Traits that hand the object to someone else instead of deleting it, as a
// task runner that must die on its own thread does.
struct Recycler;
class Recycled : public RefCountedThreadSafe<Recycled, Recycler> {};
struct Recycler {
  static const Recycled* last;
  static void Destruct(const Recycled* x) { last = x; }
};
const Recycled* Recycler::last = nullptr;

TEST(RefCountedTest, LastReleaseDestroysExactlyOnce) {
  std::atomic<int> destroyed{0};
  scoped_refptr<Tracked> a(new Tracked(&destroyed));
  EXPECT_TRUE(a->HasOneRef());
  scoped_refptr<Tracked> b = a;
  EXPECT_FALSE(a->HasOneRef());
  scoped_refptr<Tracked> c = std::move(b);
  EXPECT_FALSE(b);
  a = c;  // Same object: no release in between.
  a = a;
  EXPECT_EQ(0, destroyed.load());
  a.reset();
  EXPECT_EQ(0, destroyed.load());
  c = nullptr;
  EXPECT_EQ(1, destroyed.load());
}

TEST(RefCountedTest, TraitsDecideWhatTheLastReleaseDoes) {
  Recycled object;
  {
    scoped_refptr<Recycled> ref(&object);
    scoped_refptr<Recycled> again = ref;
  }
  EXPECT_EQ(&object, Recycler::last);
}

struct Target {
  void Hit(const scoped_refptr<Tracked>&) { hits++; }
  int hits = 0;
  WeakPtrFactory<Target> factory{this};
};

// Many threads copy and drop references to one object and one callback
// while the owner's thread invalidates the callback's target. Every object
// must be destroyed exactly once, and never while referenced (the address
// sanitizer checks the latter in the host build).
TEST(RefCountedTest, CopiesAndReleasesFromManyThreads) {
  constexpr int kThreads = 4;
  constexpr int kRounds = 20000;
  std::atomic<int> destroyed{0};
  Target target;
  scoped_refptr<Tracked> shared(new Tracked(&destroyed));
  Closure closure = Bind(&Target::Hit, target.factory.GetWeakPtr(),
                         scoped_refptr<Tracked>(new Tracked(&destroyed)));
  closure.Run();
  EXPECT_EQ(1, target.hits);

  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    // Each thread starts from its own copies, made here.
    threads.emplace_back([&go, ref = shared, cb = closure]() mutable {
      while (!go.load()) {
      }
      for (int i = 0; i < kRounds; ++i) {
        scoped_refptr<Tracked> copy = ref;
        Closure cb_copy = cb;
        Closure cb_moved = std::move(cb_copy);
        cb_copy = cb_moved;
        if (i % 2)
          ref = copy;
        copy.reset();
      }
      ref.reset();
      cb.Reset();
    });
  }
  go = true;
  target.factory.InvalidateWeakPtrs();
  for (std::thread& thread : threads)
    thread.join();

  EXPECT_TRUE(closure.IsCancelled());
  closure.Run();
  EXPECT_EQ(1, target.hits);
  EXPECT_EQ(0, destroyed.load());
  EXPECT_TRUE(shared->HasOneRef());
  shared.reset();
  closure.Reset();
  EXPECT_EQ(2, destroyed.load());
}

}  // namespace
}  // namespace base
