#include "gtest/gtest.h"

#if defined(_WIN32)
#include "base/win/scoped_handle_verifier.h"

// Exported like the product's host executable does, so that the handle
// verifier of a test executable is enabled.
extern "C" __declspec(dllexport) base::win::HandleVerifier* GetHandleVerifier() {
  return base::win::GetProcessHandleVerifier();
}
#endif

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
