#include "base/observer_list.h"

#include <functional>
#include <memory>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace {

class Observer {
 public:
  virtual ~Observer() = default;
  virtual void OnEvent(int value) = 0;
};

// Records each call in a shared log and optionally acts on the list.
class Recorder : public Observer {
 public:
  Recorder(int id, std::vector<int>* log) : id_(id), log_(log) {}
  void OnEvent(int value) override {
    log_->push_back(id_ * 100 + value);
    if (action_)
      action_(this);
  }
  std::function<void(Recorder*)> action_;

 private:
  int id_;
  std::vector<int>* log_;
};

using List = ObserverList<Observer>;

TEST(ObserverListTest, AddAndRemoveOutsideNotification) {
  std::vector<int> log;
  Recorder a(1, &log), b(2, &log), c(3, &log);
  List list;
  EXPECT_FALSE(list.might_have_observers());
  list.AddObserver(&a);
  list.AddObserver(&b);
  list.AddObserver(&a);  // Already there.
  list.AddObserver(&c);
  list.AddObserver(nullptr);
  list.RemoveObserver(&b);
  list.RemoveObserver(&b);  // Absent: nothing.
  list.Notify(&Observer::OnEvent, 7);
  EXPECT_EQ((std::vector<int>{107, 307}), log);
  EXPECT_TRUE(list.HasObserver(&c));
  EXPECT_FALSE(list.HasObserver(&b));
}

// Three observers a, b and c, in that order.
class ObserverListWalkTest : public testing::Test {
 protected:
  ObserverListWalkTest() {
    list.AddObserver(&a);
    list.AddObserver(&b);
    list.AddObserver(&c);
  }
  std::vector<int> log;
  Recorder a{1, &log}, b{2, &log}, c{3, &log};
  List list;
};

TEST_F(ObserverListWalkTest, RemovalSkipsAndCompactsAtTheEnd) {
  // a removes itself and c, which comes later; b removes nobody.
  a.action_ = [&](Recorder* self) {
    list.RemoveObserver(self);
    list.RemoveObserver(&c);
  };
  list.Notify(&Observer::OnEvent, 1);
  EXPECT_EQ((std::vector<int>{101, 201}), log);

  // Compacted: re-adding goes to the end, after b.
  a.action_ = nullptr;
  list.AddObserver(&a);
  log.clear();
  list.Notify(&Observer::OnEvent, 2);
  EXPECT_EQ((std::vector<int>{202, 102}), log);
}

TEST_F(ObserverListWalkTest, NestedWalksCompactOnlyAfterTheOutermost) {
  bool nested = false;
  a.action_ = [&](Recorder*) {
    if (nested)
      return;
    nested = true;
    // The inner walk removes b; the outer walk must skip it too and must not
    // lose its place when the inner walk ends.
    b.action_ = [&](Recorder* self) { list.RemoveObserver(self); };
    list.Notify(&Observer::OnEvent, 9);
  };
  list.Notify(&Observer::OnEvent, 1);
  EXPECT_EQ((std::vector<int>{101, 109, 209, 309, 301}), log);
  b.action_ = nullptr;
  log.clear();
  list.Notify(&Observer::OnEvent, 2);
  EXPECT_EQ((std::vector<int>{102, 302}), log);
}

TEST(ObserverListTest, AdditionDuringNotificationDependsOnTheListType) {
  for (List::NotificationType type : {List::NOTIFY_ALL,
                                      List::NOTIFY_EXISTING_ONLY}) {
    std::vector<int> log;
    Recorder a(1, &log), late(2, &log);
    List list(type);
    list.AddObserver(&a);
    a.action_ = [&](Recorder*) { list.AddObserver(&late); };
    list.Notify(&Observer::OnEvent, 1);
    if (type == List::NOTIFY_ALL)
      EXPECT_EQ((std::vector<int>{101, 201}), log);
    else
      EXPECT_EQ((std::vector<int>{101}), log);
  }
}

TEST(ObserverListTest, DestroyingTheListDuringNotificationEndsTheWalk) {
  std::vector<int> log;
  Recorder a(1, &log), b(2, &log);
  auto list = std::make_unique<List>();
  list->AddObserver(&a);
  list->AddObserver(&b);
  a.action_ = [&](Recorder*) { list.reset(); };
  list->Notify(&Observer::OnEvent, 1);
  EXPECT_EQ((std::vector<int>{101}), log);
}

TEST(ObserverListTest, ClearDuringNotificationStopsTheWalk) {
  std::vector<int> log;
  Recorder a(1, &log), b(2, &log);
  List list;
  list.AddObserver(&a);
  list.AddObserver(&b);
  a.action_ = [&](Recorder*) { list.Clear(); };
  list.Notify(&Observer::OnEvent, 1);
  EXPECT_EQ((std::vector<int>{101}), log);
  EXPECT_FALSE(list.might_have_observers());
}

}  // namespace
}  // namespace base
