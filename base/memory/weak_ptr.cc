#include "base/memory/weak_ptr.h"

namespace base {
namespace internal {

WeakReferenceFlag::WeakReferenceFlag() = default;

void WeakReferenceFlag::AddRef() {
  ref_count_.fetch_add(1);
}

void WeakReferenceFlag::Release() {
  if (ref_count_.fetch_sub(1) == 1)
    delete this;
}

WeakReference::WeakReference(WeakReferenceFlag* flag) : flag_(flag) {
  if (flag_)
    flag_->AddRef();
}

WeakReference::WeakReference(const WeakReference& other)
    : WeakReference(other.flag_) {}

WeakReference::WeakReference(WeakReference&& other) noexcept
    : flag_(other.flag_) {
  other.flag_ = nullptr;
}

WeakReference& WeakReference::operator=(const WeakReference& other) {
  if (other.flag_)
    other.flag_->AddRef();
  WeakReferenceFlag* old = flag_;
  flag_ = other.flag_;
  if (old)
    old->Release();
  return *this;
}

WeakReference& WeakReference::operator=(WeakReference&& other) noexcept {
  if (this != &other) {
    WeakReferenceFlag* old = flag_;
    flag_ = other.flag_;
    other.flag_ = nullptr;
    if (old)
      old->Release();
  }
  return *this;
}

WeakReference::~WeakReference() {
  Reset();
}

void WeakReference::Reset() {
  WeakReferenceFlag* old = flag_;
  flag_ = nullptr;
  if (old)
    old->Release();
}

WeakReferenceOwner::~WeakReferenceOwner() {
  Invalidate();
}

WeakReference WeakReferenceOwner::GetRef() const {
  // A flag that every weak reference has given back is replaced rather than
  // reused, so an owner that handed out nothing keeps no stale state.
  if (!flag_ || flag_->ref_count() == 1) {
    WeakReferenceFlag* fresh = new WeakReferenceFlag;
    fresh->AddRef();
    if (flag_)
      flag_->Release();
    flag_ = fresh;
  }
  return WeakReference(flag_);
}

void WeakReferenceOwner::Invalidate() {
  if (!flag_)
    return;
  flag_->Invalidate();
  flag_->Release();
  flag_ = nullptr;
}

}  // namespace internal
}  // namespace base
