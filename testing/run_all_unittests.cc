#include <stdio.h>
#include <stdlib.h>

#include "gtest/gtest.h"

#if defined(_WIN32)
#include <windows.h>

#include <signal.h>

#include "base/win/scoped_handle_verifier.h"

namespace {

// Wine ignores the error mode and, once user32 is loaded, asks in a message
// box whether to debug a crashed process; nobody answers it here. Ending the
// process from the top-level filter keeps the exception code as exit code.
// It says what ended the process first: without a console, nothing else
// would tell a crash in a test from one in an expected death.
LONG WINAPI EndCrashedProcess(EXCEPTION_POINTERS* pointers) {
  fprintf(stderr, "Unhandled exception 0x%08lx at %p\n",
          pointers->ExceptionRecord->ExceptionCode,
          pointers->ExceptionRecord->ExceptionAddress);
  fflush(stderr);
  return EXCEPTION_EXECUTE_HANDLER;
}

// The runtime's abort() writes its notice to a console, which test runs
// do not have.
void ReportAbort(int) {
  fputs("abort() was called\n", stderr);
  fflush(stderr);
}

}  // namespace

// Exported like the product's host executable does, so that the handle
// verifier of a test executable is enabled.
extern "C" __declspec(dllexport) base::win::HandleVerifier* GetHandleVerifier() {
  return base::win::GetProcessHandleVerifier();
}
#endif

int main(int argc, char** argv) {
#if defined(_WIN32)
  // A crashing child of a death test must end at once: no error box, no
  // debugger waiting for someone to look.
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  ::SetUnhandledExceptionFilter(&EndCrashedProcess);
  signal(SIGABRT, &ReportAbort);
#endif
  testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  // A filter that matches nothing (a typo, or one inherited from the
  // environment) must not pass as a clean run. One shard may well be empty.
  const char* shards = getenv("GTEST_TOTAL_SHARDS");
  if (result == 0 && !GTEST_FLAG_GET(list_tests) && !(shards && *shards) &&
      testing::UnitTest::GetInstance()->test_to_run_count() == 0) {
    fprintf(stderr, "No test matched the filter: nothing was tested.\n");
    return 1;
  }
#if defined(_WIN32)
  // Under Wine some crashes (a stack overflow through user32's message
  // calls) end the process with exit code 0; the runner takes a success only
  // when this line came first.
  printf("%s %d\n", "palvo test main returned", result);
  fflush(stdout);
#endif
  return result;
}
