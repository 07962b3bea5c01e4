#include "base/lazy_instance.h"

#include <atomic>
#include <thread>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace {

std::atomic<int> g_constructions{0};

struct SlowToBuild {
  SlowToBuild() {
    ++g_constructions;
    // Widens the window in which other threads find the object half made.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ready = true;
  }
  bool ready = false;
};

LazyInstance<SlowToBuild> g_slow;

TEST(LazyInstanceTest, OneConstructionAndEveryThreadSeesItFinished) {
  std::vector<std::thread> threads;
  std::atomic<int> not_ready{0};
  std::vector<SlowToBuild*> seen(6);
  for (int t = 0; t < 6; ++t) {
    threads.emplace_back([&, t] {
      seen[t] = g_slow.Pointer();
      if (!seen[t]->ready)
        ++not_ready;
    });
  }
  for (auto& thread : threads)
    thread.join();
  EXPECT_EQ(1, g_constructions.load());
  EXPECT_EQ(0, not_ready.load());
  for (SlowToBuild* p : seen)
    EXPECT_EQ(g_slow.Pointer(), p);
}

}  // namespace
}  // namespace base
