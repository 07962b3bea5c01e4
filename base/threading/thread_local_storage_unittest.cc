#include "base/threading/thread_local_storage.h"

#include <atomic>
#include <thread>
#include <vector>

#include "gtest/gtest.h"
#include "testing/expect_trap.h"

namespace base {
namespace {

using Destructor = ThreadLocalStorage::TLSDestructorFunc;
constexpr int kSize = ThreadLocalStorage::kThreadLocalStorageSize;

struct Vector {
  void* values[kSize] = {};
  Destructor destructors[kSize] = {};
};

Vector* g_vector = nullptr;
std::vector<int> g_calls;

void RecordSlot(void* value) {
  g_calls.push_back(static_cast<int>(reinterpret_cast<intptr_t>(value)));
}

// Slot 3's destructor hands work to slot 5, which was already passed over.
void SetSlotFive(void* value) {
  RecordSlot(value);
  g_vector->values[5] = reinterpret_cast<void*>(55);
}

void ResetOwnSlot(void* value) {
  RecordSlot(value);
  g_vector->values[7] = value;
}

TEST(ThreadLocalStorageTest, DestructorPassesRunFromTheLastSlotDown) {
  Vector v;
  g_vector = &v;
  g_calls.clear();
  v.values[1] = reinterpret_cast<void*>(11);
  v.values[2] = reinterpret_cast<void*>(22);  // No destructor: left alone.
  v.values[3] = reinterpret_cast<void*>(33);
  v.destructors[1] = RecordSlot;
  v.destructors[3] = SetSlotFive;
  v.destructors[5] = RecordSlot;
  v.destructors[9] = RecordSlot;  // Beyond the last used slot.
  v.values[9] = reinterpret_cast<void*>(99);

  ThreadLocalStorage::RunDestructors(v.values, 5, v.destructors);
  EXPECT_EQ((std::vector<int>{33, 11, 55}), g_calls);
  EXPECT_EQ(nullptr, v.values[1]);
  EXPECT_EQ(nullptr, v.values[3]);
  EXPECT_EQ(nullptr, v.values[5]);
  EXPECT_EQ(reinterpret_cast<void*>(22), v.values[2]);
  EXPECT_EQ(reinterpret_cast<void*>(99), v.values[9]);
}

TEST(ThreadLocalStorageTest, ADestructorThatKeepsSettingItsSlotStopsAfterThePassLimit) {
  Vector v;
  g_vector = &v;
  g_calls.clear();
  v.values[7] = reinterpret_cast<void*>(7);
  v.destructors[7] = ResetOwnSlot;
  ThreadLocalStorage::RunDestructors(v.values, 7, v.destructors);
  EXPECT_EQ(static_cast<size_t>(ThreadLocalStorage::kMaxDestructorPasses), g_calls.size());
}


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

TEST(ThreadLocalStorageSlotTest, SlotsAreNumberedAndPerThread) {
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

TEST(ThreadLocalStorageSlotTest, DestructorsRunWhenAThreadEnds) {
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

TEST(ThreadLocalStorageSlotDeathTest, SlotsRunOutAt256) {
  EXPECT_TRAP_DEATH(TakeThreeHundredSlots());
}

}  // namespace
}  // namespace base
