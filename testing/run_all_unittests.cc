#include "gtest/gtest.h"

#if defined(_WIN32)
#include <windows.h>

#include "base/win/scoped_handle_verifier.h"

namespace {

// Wine ignores the error mode and, once user32 is loaded, asks in a message
// box whether to debug a crashed process; nobody answers it here. Ending the
// process from the top-level filter keeps the exception code as exit code.
LONG WINAPI EndCrashedProcess(EXCEPTION_POINTERS*) {
  return EXCEPTION_EXECUTE_HANDLER;
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
#endif
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
