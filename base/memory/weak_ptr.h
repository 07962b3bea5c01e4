#ifndef BASE_MEMORY_WEAK_PTR_H_
#define BASE_MEMORY_WEAK_PTR_H_

#include <stdint.h>

#include <atomic>
#include <cstddef>
#include <type_traits>

namespace base {

template <typename T>
class WeakPtr;

namespace internal {

// Shared between an owner and its weak references. The count may move on any
// thread; the validity byte belongs to the owner's thread.
class WeakReferenceFlag {
 public:
  WeakReferenceFlag();
  WeakReferenceFlag(const WeakReferenceFlag&) = delete;
  WeakReferenceFlag& operator=(const WeakReferenceFlag&) = delete;

  void AddRef();
  // Frees the flag when this was the last reference.
  void Release();
  uint32_t ref_count() const { return ref_count_.load(); }

  bool is_valid() const { return is_valid_; }
  void Invalidate() { is_valid_ = false; }

 private:
  ~WeakReferenceFlag() = default;

  std::atomic<uint32_t> ref_count_{0};
  uint8_t unused_ = 0;
  bool is_valid_ = true;
};

class WeakReference {
 public:
  WeakReference() = default;
  // Adopts one new reference to `flag`.
  explicit WeakReference(WeakReferenceFlag* flag);
  WeakReference(const WeakReference& other);
  WeakReference(WeakReference&& other) noexcept;
  WeakReference& operator=(const WeakReference& other);
  WeakReference& operator=(WeakReference&& other) noexcept;
  ~WeakReference();

  bool IsValid() const { return flag_ && flag_->is_valid(); }
  void Reset();

 private:
  WeakReferenceFlag* flag_ = nullptr;
};

class WeakReferenceOwner {
 public:
  WeakReferenceOwner() = default;
  WeakReferenceOwner(const WeakReferenceOwner&) = delete;
  WeakReferenceOwner& operator=(const WeakReferenceOwner&) = delete;
  ~WeakReferenceOwner();

  WeakReference GetRef() const;
  // True while a weak reference handed out by this owner still exists.
  bool HasRefs() const { return flag_ && flag_->ref_count() > 1; }
  void Invalidate();

 private:
  mutable WeakReferenceFlag* flag_ = nullptr;
};

}  // namespace internal

// A pointer that reads as null once its factory has been invalidated or
// destroyed. It may be copied and dropped on any thread but is dereferenced
// only on the thread that owns the factory.
template <typename T>
class WeakPtr {
 public:
  WeakPtr() = default;
  WeakPtr(std::nullptr_t) {}

  template <typename U,
            typename = std::enable_if_t<std::is_convertible<U*, T*>::value>>
  WeakPtr(const WeakPtr<U>& other) : ref_(other.ref_), ptr_(other.ptr_) {}

  T* get() const { return ref_.IsValid() ? ptr_ : nullptr; }
  T& operator*() const { return *get(); }
  T* operator->() const { return get(); }
  explicit operator bool() const { return get() != nullptr; }

  void reset() {
    ref_.Reset();
    ptr_ = nullptr;
  }

 private:
  template <typename U>
  friend class WeakPtr;
  template <typename U>
  friend class WeakPtrFactory;

  WeakPtr(internal::WeakReference ref, T* ptr)
      : ref_(static_cast<internal::WeakReference&&>(ref)), ptr_(ptr) {}

  internal::WeakReference ref_;
  T* ptr_ = nullptr;
};

// Embedded in an object (usually as its last member, so that it is
// invalidated before the other members go away) to hand out weak pointers to
// it.
template <typename T>
class WeakPtrFactory {
 public:
  explicit WeakPtrFactory(T* ptr) : ptr_(ptr) {}
  WeakPtrFactory(const WeakPtrFactory&) = delete;
  WeakPtrFactory& operator=(const WeakPtrFactory&) = delete;

  WeakPtr<T> GetWeakPtr() { return WeakPtr<T>(owner_.GetRef(), ptr_); }
  void InvalidateWeakPtrs() { owner_.Invalidate(); }
  bool HasWeakPtrs() const { return owner_.HasRefs(); }

 private:
  internal::WeakReferenceOwner owner_;
  T* ptr_;
};

}  // namespace base

#endif  // BASE_MEMORY_WEAK_PTR_H_
