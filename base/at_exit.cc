#include "base/at_exit.h"

#include <utility>

#include "base/bind.h"
#include "base/logging.h"

namespace base {

namespace {

// The innermost live manager, or null.
AtExitManager* g_top_manager = nullptr;

}  // namespace

AtExitManager::AtExitManager() : next_manager_(g_top_manager) {
  g_top_manager = this;
}

AtExitManager::~AtExitManager() {
  // Managers end in the reverse order of their making; anything else would
  // leave the top pointing at a destroyed manager.
  CHECK(g_top_manager == this) << "AtExitManager destroyed out of order";
  if (g_top_manager) {
    ProcessCallbacksNow();
    g_top_manager = next_manager_;
  }
  // Whatever was registered during the last pass goes away unrun with the
  // stack.
}

// static
void AtExitManager::RegisterCallback(AtExitCallbackType func, void* param) {
  AtExitManager* manager = g_top_manager;
  if (!manager)
    return;
  Closure closure = Bind(func, param);
  AutoLock lock(manager->lock_);
  manager->stack_.push(std::move(closure));
}

// static
void AtExitManager::ProcessCallbacksNow() {
  AtExitManager* manager = g_top_manager;
  if (!manager)
    return;
  std::stack<Closure> tasks;
  {
    AutoLock lock(manager->lock_);
    tasks.swap(manager->stack_);
  }
  // Without the lock, so that a callback may register another one.
  while (!tasks.empty()) {
    tasks.top().Run();
    tasks.pop();
  }
}

}  // namespace base
