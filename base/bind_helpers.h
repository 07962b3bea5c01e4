#ifndef BASE_BIND_HELPERS_H_
#define BASE_BIND_HELPERS_H_

#include <memory>

namespace base {
namespace internal {

template <typename T>
class UnretainedWrapper {
 public:
  explicit UnretainedWrapper(T* o) : ptr_(o) {}
  T* get() const { return ptr_; }

 private:
  T* ptr_;
};

template <typename T>
class OwnedWrapper {
 public:
  explicit OwnedWrapper(T* o) : ptr_(o) {}
  OwnedWrapper(OwnedWrapper&& other) = default;
  OwnedWrapper(const OwnedWrapper&) = delete;
  T* get() const { return ptr_.get(); }

 private:
  std::unique_ptr<T> ptr_;
};

}  // namespace internal

// Binds a pointer without any claim on the object: the caller guarantees
// that it outlives the callback.
template <typename T>
internal::UnretainedWrapper<T> Unretained(T* o) {
  return internal::UnretainedWrapper<T>(o);
}

// The callback's state owns the object and deletes it when the last copy of
// the callback goes away; the function gets the plain pointer.
template <typename T>
internal::OwnedWrapper<T> Owned(T* o) {
  return internal::OwnedWrapper<T>(o);
}

}  // namespace base

#endif  // BASE_BIND_HELPERS_H_
