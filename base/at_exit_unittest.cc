#include "base/at_exit.h"

#include <string>

#include "gtest/gtest.h"

namespace base {
namespace {

std::string* g_log = nullptr;

void Record(void* param) {
  g_log->push_back(*static_cast<const char*>(param));
}

const char kA = 'A', kB = 'B', kC = 'C', kLate = 'L';

void RegistersAnother(void*) {
  g_log->push_back('R');
  AtExitManager::RegisterCallback(&Record, const_cast<char*>(&kLate));
}

class AtExitTest : public testing::Test {
 protected:
  void SetUp() override { g_log = &log_; }
  void TearDown() override { g_log = nullptr; }
  void Register(const char& c) {
    AtExitManager::RegisterCallback(&Record, const_cast<char*>(&c));
  }
  std::string log_;
};

TEST_F(AtExitTest, RunsNewestFirstWhenTheManagerEnds) {
  {
    AtExitManager manager;
    Register(kA);
    Register(kB);
    Register(kC);
    EXPECT_EQ("", log_);
  }
  EXPECT_EQ("CBA", log_);
}

TEST_F(AtExitTest, WithoutAManagerNothingIsRegistered) {
  Register(kA);
  AtExitManager::ProcessCallbacksNow();
  { AtExitManager manager; }
  EXPECT_EQ("", log_);
}

TEST_F(AtExitTest, CallbackRegisteredDuringAPassIsNotRun) {
  {
    AtExitManager manager;
    Register(kA);
    AtExitManager::RegisterCallback(&RegistersAnother, nullptr);
    AtExitManager::ProcessCallbacksNow();
    EXPECT_EQ("RA", log_);
    AtExitManager::ProcessCallbacksNow();  // Now it runs.
    EXPECT_EQ("RAL", log_);
    AtExitManager::RegisterCallback(&RegistersAnother, nullptr);
  }
  // The destructor's own pass ran R; the L that R registered died unrun.
  EXPECT_EQ("RALR", log_);
}

TEST_F(AtExitTest, ShadowingManagerRunsOnlyItsOwnCallbacks) {
  {
    AtExitManager outer;
    Register(kA);
    {
      AtExitManager inner;
      Register(kB);
    }
    EXPECT_EQ("B", log_);
    Register(kC);
  }
  EXPECT_EQ("BCA", log_);
}

TEST_F(AtExitTest, OutOfOrderDestructionEndsTheProcess) {
  EXPECT_DEATH(
      {
        auto* outer = new AtExitManager;
        AtExitManager inner;
        delete outer;
      },
      "out of order");
}

}  // namespace
}  // namespace base
