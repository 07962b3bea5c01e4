#include <objbase.h>
#include <windows.h>

#include "base/threading/thread_internal.h"

namespace base {
namespace internal {

ScopedComInitializer::ScopedComInitializer(uint32_t com_status) {
  if (com_status == 0)
    return;
  DWORD model =
      com_status == 1 ? COINIT_APARTMENTTHREADED : COINIT_MULTITHREADED;
  initialized_ = SUCCEEDED(CoInitializeEx(nullptr, model));
}

ScopedComInitializer::~ScopedComInitializer() {
  Uninitialize();
}

void ScopedComInitializer::Uninitialize() {
  if (initialized_)
    CoUninitialize();
  initialized_ = false;
}

}  // namespace internal
}  // namespace base
