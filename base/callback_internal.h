#ifndef BASE_CALLBACK_INTERNAL_H_
#define BASE_CALLBACK_INTERNAL_H_

#include <stdint.h>

#include <atomic>

namespace base {
namespace internal {

// The heap part of a callback, shared by all its copies: how to run it, how
// many handles hold it, how to destroy it and whether it can still do
// anything. A concrete state appends its functor and bound values.
class BindStateBase {
 public:
  // The real invoke type depends on the callback's arguments; the typed
  // callback casts it back.
  using InvokeFuncStorage = void (*)();
  using DestroyFunc = void (*)(const BindStateBase*);
  using IsCancelledFunc = bool (*)(const BindStateBase*);

  BindStateBase(const BindStateBase&) = delete;
  BindStateBase& operator=(const BindStateBase&) = delete;

  InvokeFuncStorage invoke() const { return invoke_; }
  bool IsCancelled() const { return is_cancelled_(this); }

  void AddRef() const;
  // Destroys the state when this was the last reference.
  void Release() const;

 protected:
  BindStateBase(InvokeFuncStorage invoke,
                DestroyFunc destroy,
                IsCancelledFunc is_cancelled)
      : invoke_(invoke), destroy_(destroy), is_cancelled_(is_cancelled) {}
  ~BindStateBase() = default;

 private:
  InvokeFuncStorage invoke_;
  mutable std::atomic<uint32_t> ref_count_{0};
  DestroyFunc destroy_;
  IsCancelledFunc is_cancelled_;
};

// One pointer to a bind state; null is the empty callback.
class CallbackBase {
 public:
  CallbackBase(const CallbackBase& other);
  CallbackBase(CallbackBase&& other) noexcept;
  CallbackBase& operator=(const CallbackBase& other);
  CallbackBase& operator=(CallbackBase&& other) noexcept;

  bool is_null() const { return bind_state_ == nullptr; }
  explicit operator bool() const { return bind_state_ != nullptr; }
  // True when running the callback can no longer do anything (its weak
  // target is gone). An empty callback counts as cancelled.
  bool IsCancelled() const;
  void Reset();

  bool Equals(const CallbackBase& other) const {
    return bind_state_ == other.bind_state_;
  }

 protected:
  CallbackBase() = default;
  explicit CallbackBase(BindStateBase* bind_state);
  ~CallbackBase();

  BindStateBase* bind_state() const { return bind_state_; }

 private:
  BindStateBase* bind_state_ = nullptr;
};

}  // namespace internal
}  // namespace base

#endif  // BASE_CALLBACK_INTERNAL_H_
