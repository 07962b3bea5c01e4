#include "base/win/scoped_handle_verifier.h"

// Every module of the process tracks its handles in one verifier: modules
// that load this one find it here.
extern "C" __declspec(dllexport) base::win::HandleVerifier* GetHandleVerifier() {
  return base::win::GetProcessHandleVerifier();
}
