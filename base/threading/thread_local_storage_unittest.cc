#include "base/threading/thread_local_storage.h"

#include <vector>

#include "gtest/gtest.h"

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

}  // namespace
}  // namespace base
