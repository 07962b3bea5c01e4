#include "base/memory/weak_ptr.h"

#include <memory>

#include "gtest/gtest.h"

namespace base {
namespace {

struct Base {
  int value = 1;
};
struct Derived : Base {};

struct Target {
  WeakPtrFactory<Target> factory{this};
};

TEST(WeakPtrTest, ReadsAsNullOnceTheFactoryIsGone) {
  auto target = std::make_unique<Target>();
  WeakPtr<Target> weak = target->factory.GetWeakPtr();
  WeakPtr<Target> copy = weak;
  EXPECT_EQ(target.get(), weak.get());
  EXPECT_TRUE(copy);
  target.reset();
  EXPECT_EQ(nullptr, weak.get());
  EXPECT_FALSE(copy);
  EXPECT_EQ(nullptr, WeakPtr<Target>().get());
}

TEST(WeakPtrTest, InvalidationStartsAFreshFlag) {
  Target target;
  EXPECT_FALSE(target.factory.HasWeakPtrs());
  WeakPtr<Target> before = target.factory.GetWeakPtr();
  EXPECT_TRUE(target.factory.HasWeakPtrs());

  target.factory.InvalidateWeakPtrs();
  EXPECT_FALSE(target.factory.HasWeakPtrs());
  EXPECT_EQ(nullptr, before.get());

  WeakPtr<Target> after = target.factory.GetWeakPtr();
  EXPECT_EQ(&target, after.get());
  EXPECT_EQ(nullptr, before.get());  // Old pointers stay null.

  // Invalidating twice, or with nothing handed out, is harmless.
  target.factory.InvalidateWeakPtrs();
  target.factory.InvalidateWeakPtrs();
  EXPECT_EQ(nullptr, after.get());
}

TEST(WeakPtrTest, GivenBackFlagIsReplacedNotReused) {
  Target target;
  {
    WeakPtr<Target> first = target.factory.GetWeakPtr();
    EXPECT_TRUE(target.factory.HasWeakPtrs());
  }
  EXPECT_FALSE(target.factory.HasWeakPtrs());
  WeakPtr<Target> second = target.factory.GetWeakPtr();
  WeakPtr<Target> third = target.factory.GetWeakPtr();
  EXPECT_EQ(&target, second.get());
  EXPECT_EQ(&target, third.get());
  second.reset();
  EXPECT_TRUE(target.factory.HasWeakPtrs());
  EXPECT_EQ(nullptr, second.get());
}

TEST(WeakPtrTest, ConvertsToABaseAndOutlivesTheFactoryAcrossAssignment) {
  auto derived = std::make_unique<Derived>();
  WeakPtrFactory<Derived> factory(derived.get());
  WeakPtr<Base> base = factory.GetWeakPtr();
  EXPECT_EQ(1, base->value);

  WeakPtr<Base> other;
  other = base;
  other = other;
  base = WeakPtr<Base>();
  EXPECT_NE(nullptr, other.get());
  factory.InvalidateWeakPtrs();
  EXPECT_EQ(nullptr, other.get());
}

}  // namespace
}  // namespace base
