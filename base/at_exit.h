#ifndef BASE_AT_EXIT_H_
#define BASE_AT_EXIT_H_

#include <stack>

#include "base/callback.h"
#include "base/synchronization/lock.h"

namespace base {

// Runs registered clean-ups, newest first, when it goes out of scope. The
// entry point keeps one on its stack for the whole run; lazily created
// singletons register their destruction with it. A manager made while
// another exists shadows it until destroyed.
class AtExitManager {
 public:
  typedef void (*AtExitCallbackType)(void*);

  AtExitManager();
  AtExitManager(const AtExitManager&) = delete;
  AtExitManager& operator=(const AtExitManager&) = delete;
  ~AtExitManager();

  // Registers with the current manager; with none, the callback is dropped.
  // Any thread may register.
  static void RegisterCallback(AtExitCallbackType func, void* param);

  // Runs the current manager's callbacks now, newest first. Callbacks that
  // they register are not run by this pass.
  static void ProcessCallbacksNow();

 private:
  Lock lock_;
  std::stack<Closure> stack_;
  AtExitManager* next_manager_;
};

}  // namespace base

#endif  // BASE_AT_EXIT_H_
