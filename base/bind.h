#ifndef BASE_BIND_H_
#define BASE_BIND_H_

#include <type_traits>
#include <utility>

#include "base/bind_helpers.h"
#include "base/bind_internal.h"
#include "base/callback.h"

namespace base {

// Binds the leading arguments of a function, method, callback or lambda and
// returns a callback that takes the rest. A method's first bound argument is
// its receiver: a plain pointer (or Unretained), a scoped_refptr that keeps
// the object alive, an Owned pointer that the callback deletes, or a WeakPtr,
// in which case the call does nothing once the target is gone.
template <typename Functor, typename... Args>
auto Bind(Functor&& functor, Args&&... args) {
  using FunctorType = std::decay_t<Functor>;
  using Traits = internal::FunctorTraits<FunctorType>;
  using Parts = internal::SignatureParts<typename Traits::RunType>;
  using UnboundParams =
      typename internal::DropTypes<sizeof...(Args),
                                   typename Parts::Params>::Type;
  using UnboundRunType =
      typename internal::MakeFunctionType<typename Parts::ReturnType,
                                          UnboundParams>::Type;
  using State = internal::BindState<FunctorType, std::decay_t<Args>...>;
  using Invoker = internal::Invoker<State, UnboundRunType>;

  auto invoke = reinterpret_cast<internal::BindStateBase::InvokeFuncStorage>(
      &Invoker::Run);
  return Callback<UnboundRunType>(new State(
      invoke, std::forward<Functor>(functor), std::forward<Args>(args)...));
}

}  // namespace base

#endif  // BASE_BIND_H_
