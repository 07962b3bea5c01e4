#include "base/threading/thread_id_name_manager.h"

#include <string>

#include "gtest/gtest.h"

namespace base {
namespace {

// Fake ids and handles far from the real ones of this process.
constexpr PlatformThreadId kFirstId = 0x7FFF0001;
constexpr PlatformThreadId kReusedId = 0x7FFF0002;
constexpr PlatformThreadId kUnknownId = 0x7FFF0003;

PlatformThreadHandle FakeHandle(uintptr_t n) {
  return reinterpret_cast<PlatformThreadHandle>(0x7FFF000000 + n);
}

TEST(ThreadIdNameManagerTest, NamesOfRegisteredThreads) {
  ThreadIdNameManager* manager = ThreadIdNameManager::GetInstance();
  EXPECT_STREQ("", manager->GetName(kUnknownId));

  manager->RegisterThread(FakeHandle(1), kFirstId);
  EXPECT_STREQ("", manager->GetName(kFirstId));
  manager->SetName(kFirstId, "Worker");
  EXPECT_STREQ("Worker", manager->GetName(kFirstId));
  // Equal names are interned once, so the pointers stay valid and equal.
  manager->RegisterThread(FakeHandle(2), kReusedId);
  manager->SetName(kReusedId, std::string("Work") + "er");
  EXPECT_EQ(manager->GetName(kFirstId), manager->GetName(kReusedId));

  manager->RemoveName(FakeHandle(1), kFirstId);
  EXPECT_STREQ("", manager->GetName(kFirstId));
  manager->RemoveName(FakeHandle(2), kReusedId);
}

TEST(ThreadIdNameManagerTest, RemovingAnOldThreadKeepsTheNewerOneWithItsId) {
  ThreadIdNameManager* manager = ThreadIdNameManager::GetInstance();
  manager->RegisterThread(FakeHandle(3), kReusedId);
  manager->SetName(kReusedId, "Old");
  // The old thread ends late, after the id went to a new thread.
  manager->RegisterThread(FakeHandle(4), kReusedId);
  manager->SetName(kReusedId, "New");
  manager->RemoveName(FakeHandle(3), kReusedId);
  EXPECT_STREQ("New", manager->GetName(kReusedId));
  manager->RemoveName(FakeHandle(4), kReusedId);
  EXPECT_STREQ("", manager->GetName(kReusedId));
}

}  // namespace
}  // namespace base
