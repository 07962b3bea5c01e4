#include "base/threading/thread_local_storage.h"

#include <atomic>
#include <thread>

#include "gtest/gtest.h"

namespace base {
namespace {

ThreadLocalStorage::StaticSlot g_plain_slot = TLS_INITIALIZER;
ThreadLocalStorage::StaticSlot g_destructed_slot = TLS_INITIALIZER;
std::atomic<void*> g_destroyed_value{nullptr};
std::atomic<int> g_destructor_calls{0};

void RecordDestruction(void* value) {
  // The slot is already cleared when its destructor runs.
  EXPECT_EQ(nullptr, g_destructed_slot.Get());
  g_destroyed_value = value;
  ++g_destructor_calls;
}

void InitializeSlotsOnce() {
  if (!g_plain_slot.initialized)
    g_plain_slot.Initialize(nullptr);
  if (!g_destructed_slot.initialized)
    g_destructed_slot.Initialize(RecordDestruction);
}

TEST(ThreadLocalStorageWinTest, SlotsAreNumberedAndPerThread) {
  InitializeSlotsOnce();
  EXPECT_GE(g_plain_slot.slot, 1);
  EXPECT_EQ(g_plain_slot.slot + 1, g_destructed_slot.slot);

  int here = 1;
  g_plain_slot.Set(&here);
  void* seen_elsewhere = &here;
  std::thread other([&] {
    seen_elsewhere = g_plain_slot.Get();
    int there = 2;
    g_plain_slot.Set(&there);
  });
  other.join();
  EXPECT_EQ(nullptr, seen_elsewhere);
  EXPECT_EQ(&here, g_plain_slot.Get());
  g_plain_slot.Set(nullptr);
}

TEST(ThreadLocalStorageWinTest, DestructorsRunWhenAThreadEnds) {
  InitializeSlotsOnce();
  static int value = 42;
  g_destructor_calls = 0;
  std::thread worker([] { g_destructed_slot.Set(&value); });
  worker.join();
  EXPECT_EQ(1, g_destructor_calls.load());
  EXPECT_EQ(&value, g_destroyed_value.load());

  // A thread that never set the slot runs no destructor.
  std::thread idle([] { g_plain_slot.Get(); });
  idle.join();
  EXPECT_EQ(1, g_destructor_calls.load());
}

void TakeThreeHundredSlots() {
  for (int i = 0; i < 300; ++i) {
    ThreadLocalStorage::StaticSlot slot = TLS_INITIALIZER;
    slot.Initialize(nullptr);
  }
}

TEST(ThreadLocalStorageWinDeathTest, SlotsRunOutAt256) {
  EXPECT_DEATH(TakeThreeHundredSlots(), "");
}

}  // namespace
}  // namespace base
