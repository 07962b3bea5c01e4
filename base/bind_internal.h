#ifndef BASE_BIND_INTERNAL_H_
#define BASE_BIND_INTERNAL_H_

#include <stddef.h>

#include <tuple>
#include <type_traits>
#include <utility>

#include "base/bind_helpers.h"
#include "base/callback.h"
#include "base/callback_internal.h"
#include "base/memory/ref_counted.h"
#include "base/memory/weak_ptr.h"

namespace base {
namespace internal {

template <typename... Types>
struct TypeList {};

// Drops the first N types of a list: the parameters already bound.
template <size_t N, typename List, bool done = (N == 0)>
struct DropTypes;

template <size_t N, typename... Types>
struct DropTypes<N, TypeList<Types...>, true> {
  using Type = TypeList<Types...>;
};

template <size_t N, typename First, typename... Rest>
struct DropTypes<N, TypeList<First, Rest...>, false> {
  using Type = typename DropTypes<N - 1, TypeList<Rest...>>::Type;
};

template <typename R, typename List>
struct MakeFunctionType;

template <typename R, typename... Args>
struct MakeFunctionType<R, TypeList<Args...>> {
  using Type = R(Args...);
};

template <typename Signature>
struct SignatureParts;

template <typename R, typename... Args>
struct SignatureParts<R(Args...)> {
  using ReturnType = R;
  using Params = TypeList<Args...>;
};

// What can be bound: plain functions, methods, callbacks and function
// objects (lambdas). RunType is the full signature, the receiver of a method
// counting as its first parameter.
template <typename Functor, typename = void>
struct FunctorTraits;

template <typename R, typename... Args>
struct FunctorTraits<R (*)(Args...)> {
  using RunType = R(Args...);
  static constexpr bool kIsMethod = false;

  template <typename... RunArgs>
  static R Invoke(R (*function)(Args...), RunArgs&&... args) {
    return function(std::forward<RunArgs>(args)...);
  }
};

template <typename T>
T* ReceiverPointer(T* receiver) {
  return receiver;
}

template <typename T>
T* ReceiverPointer(const scoped_refptr<T>& receiver) {
  return receiver.get();
}

template <typename T>
T* ReceiverPointer(const WeakPtr<T>& receiver) {
  return receiver.get();
}

template <typename R, typename Receiver, typename... Args>
struct FunctorTraits<R (Receiver::*)(Args...)> {
  using RunType = R(Receiver*, Args...);
  static constexpr bool kIsMethod = true;

  template <typename ReceiverArg, typename... RunArgs>
  static R Invoke(R (Receiver::*method)(Args...),
                  ReceiverArg&& receiver,
                  RunArgs&&... args) {
    return (ReceiverPointer(receiver)->*method)(std::forward<RunArgs>(args)...);
  }
};

template <typename R, typename Receiver, typename... Args>
struct FunctorTraits<R (Receiver::*)(Args...) const> {
  using RunType = R(const Receiver*, Args...);
  static constexpr bool kIsMethod = true;

  template <typename ReceiverArg, typename... RunArgs>
  static R Invoke(R (Receiver::*method)(Args...) const,
                  ReceiverArg&& receiver,
                  RunArgs&&... args) {
    return (ReceiverPointer(receiver)->*method)(std::forward<RunArgs>(args)...);
  }
};

template <typename R, typename... Args>
struct FunctorTraits<Callback<R(Args...)>> {
  using RunType = R(Args...);
  static constexpr bool kIsMethod = false;

  template <typename... RunArgs>
  static R Invoke(const Callback<R(Args...)>& callback, RunArgs&&... args) {
    return callback.Run(std::forward<RunArgs>(args)...);
  }
};

template <typename Signature>
struct CallOperatorTraits;

template <typename R, typename Object, typename... Args>
struct CallOperatorTraits<R (Object::*)(Args...)> {
  using RunType = R(Args...);
};

template <typename R, typename Object, typename... Args>
struct CallOperatorTraits<R (Object::*)(Args...) const> {
  using RunType = R(Args...);
};

template <typename Functor>
struct FunctorTraits<Functor, std::void_t<decltype(&Functor::operator())>> {
  using RunType =
      typename CallOperatorTraits<decltype(&Functor::operator())>::RunType;
  static constexpr bool kIsMethod = false;

  template <typename... RunArgs>
  static decltype(auto) Invoke(Functor& functor, RunArgs&&... args) {
    return functor(std::forward<RunArgs>(args)...);
  }
};

// Bound values are handed to the function as lvalues of the stored copies;
// the wrappers give up their plain pointer.
template <typename T>
T& Unwrap(T& stored) {
  return stored;
}

template <typename T>
T* Unwrap(UnretainedWrapper<T>& stored) {
  return stored.get();
}

template <typename T>
T* Unwrap(OwnedWrapper<T>& stored) {
  return stored.get();
}

template <typename T>
struct IsWeakPtr : std::false_type {};

template <typename T>
struct IsWeakPtr<WeakPtr<T>> : std::true_type {};

// A method bound to a weak pointer runs only while its target lives.
template <bool is_method, typename... BoundArgs>
struct IsWeakMethod : std::false_type {};

template <typename First, typename... Rest>
struct IsWeakMethod<true, First, Rest...> : IsWeakPtr<First> {};

template <typename Functor, typename... BoundArgs>
class BindState final : public BindStateBase {
 public:
  static constexpr bool kIsWeakCall =
      IsWeakMethod<FunctorTraits<Functor>::kIsMethod, BoundArgs...>::value;

  template <typename ForwardFunctor, typename... ForwardArgs>
  BindState(InvokeFuncStorage invoke,
            ForwardFunctor&& functor,
            ForwardArgs&&... bound_args)
      : BindStateBase(invoke, &Destroy, &QueryCancelled),
        functor_(std::forward<ForwardFunctor>(functor)),
        bound_args_(std::forward<ForwardArgs>(bound_args)...) {}

  Functor functor_;
  std::tuple<BoundArgs...> bound_args_;

 private:
  ~BindState() = default;

  static void Destroy(const BindStateBase* self) {
    delete static_cast<const BindState*>(self);
  }

  static bool QueryCancelled(const BindStateBase* self) {
    if constexpr (kIsWeakCall) {
      const BindState* state = static_cast<const BindState*>(self);
      return !std::get<0>(state->bound_args_);
    } else {
      return false;
    }
  }
};

template <typename State, typename UnboundRunType>
struct Invoker;

template <typename State, typename R, typename... UnboundArgs>
struct Invoker<State, R(UnboundArgs...)> {
  static R Run(BindStateBase* base, UnboundArgs&&... unbound_args) {
    State* state = static_cast<State*>(base);
    constexpr size_t kBound = std::tuple_size<decltype(state->bound_args_)>::value;
    return RunBound(state, std::make_index_sequence<kBound>(),
                    std::forward<UnboundArgs>(unbound_args)...);
  }

 private:
  template <size_t... indices>
  static R RunBound(State* state,
                    std::index_sequence<indices...>,
                    UnboundArgs&&... unbound_args) {
    using Traits = FunctorTraits<std::decay_t<decltype(state->functor_)>>;
    if constexpr (State::kIsWeakCall) {
      static_assert(std::is_void<R>::value,
                    "a method bound to a weak pointer must return void");
      if (!std::get<0>(state->bound_args_))
        return;
    }
    return Traits::Invoke(state->functor_,
                          Unwrap(std::get<indices>(state->bound_args_))...,
                          std::forward<UnboundArgs>(unbound_args)...);
  }
};

}  // namespace internal
}  // namespace base

#endif  // BASE_BIND_INTERNAL_H_
