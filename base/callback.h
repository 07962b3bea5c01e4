#ifndef BASE_CALLBACK_H_
#define BASE_CALLBACK_H_

#include <utility>

#include "base/callback_forward.h"
#include "base/callback_internal.h"

namespace base {

// A copyable handle to a function with some of its arguments bound (see
// base/bind.h). Copies share the bound state; running one does not consume
// it, so a callback may run any number of times.
template <typename R, typename... Args>
class Callback<R(Args...)> : public internal::CallbackBase {
 public:
  using RunType = R(Args...);
  using PolymorphicInvoke = R (*)(internal::BindStateBase*, Args&&...);

  Callback() = default;
  explicit Callback(internal::BindStateBase* bind_state)
      : internal::CallbackBase(bind_state) {}

  bool Equals(const Callback& other) const {
    return internal::CallbackBase::Equals(other);
  }

  R Run(Args... args) const {
    internal::BindStateBase* state = bind_state();
    PolymorphicInvoke f = reinterpret_cast<PolymorphicInvoke>(state->invoke());
    return f(state, std::forward<Args>(args)...);
  }
};

}  // namespace base

#endif  // BASE_CALLBACK_H_
