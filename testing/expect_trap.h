#ifndef TESTING_EXPECT_TRAP_H_
#define TESTING_EXPECT_TRAP_H_

#include "gtest/gtest.h"

#if !defined(_WIN32)
#include <signal.h>
#endif

// Death tests for code that ends the process without a line of its own: a
// trap (__builtin_trap), or the breakpoint of a FATAL log line whose text a
// handler kept. They match how the process ended, which a crash for another
// reason (an access violation, an abort, a sanitizer report) does not
// share. On Windows the test main's unhandled-exception filter names the
// exception on stderr and ends the process with its code.
#if defined(_WIN32)
#define EXPECT_TRAP_DEATH(statement)                                   \
  EXPECT_EXIT(statement, testing::ExitedWithCode(0xC000001D),          \
              "Unhandled exception 0xc000001d at")
#define EXPECT_BREAKPOINT_DEATH(statement)                             \
  EXPECT_EXIT(statement, testing::ExitedWithCode(0x80000003),          \
              "Unhandled exception 0x80000003 at")
#else
// Both are an illegal instruction here (see PlatformBreakAndDie).
#define EXPECT_TRAP_DEATH(statement) \
  EXPECT_EXIT(statement, testing::KilledBySignal(SIGILL), "")
#define EXPECT_BREAKPOINT_DEATH(statement) \
  EXPECT_EXIT(statement, testing::KilledBySignal(SIGILL), "")
#endif

#endif  // TESTING_EXPECT_TRAP_H_
