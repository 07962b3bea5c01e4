#include "base/callback_internal.h"

namespace base {
namespace internal {

void BindStateBase::AddRef() const {
  ref_count_.fetch_add(1);
}

void BindStateBase::Release() const {
  if (ref_count_.fetch_sub(1) == 1)
    destroy_(this);
}

CallbackBase::CallbackBase(BindStateBase* bind_state)
    : bind_state_(bind_state) {
  if (bind_state_)
    bind_state_->AddRef();
}

CallbackBase::CallbackBase(const CallbackBase& other)
    : CallbackBase(other.bind_state_) {}

CallbackBase::CallbackBase(CallbackBase&& other) noexcept
    : bind_state_(other.bind_state_) {
  other.bind_state_ = nullptr;
}

CallbackBase& CallbackBase::operator=(const CallbackBase& other) {
  // Reference the new state first so that assigning a callback to itself
  // cannot free the state in between.
  if (other.bind_state_)
    other.bind_state_->AddRef();
  BindStateBase* old = bind_state_;
  bind_state_ = other.bind_state_;
  if (old)
    old->Release();
  return *this;
}

CallbackBase& CallbackBase::operator=(CallbackBase&& other) noexcept {
  if (this == &other)
    return *this;
  BindStateBase* old = bind_state_;
  bind_state_ = other.bind_state_;
  other.bind_state_ = nullptr;
  if (old)
    old->Release();
  return *this;
}

CallbackBase::~CallbackBase() {
  Reset();
}

bool CallbackBase::IsCancelled() const {
  return !bind_state_ || bind_state_->IsCancelled();
}

void CallbackBase::Reset() {
  // Empty first: destroying the bound values may run code that looks at
  // this callback again.
  BindStateBase* old = bind_state_;
  bind_state_ = nullptr;
  if (old)
    old->Release();
}

}  // namespace internal
}  // namespace base
