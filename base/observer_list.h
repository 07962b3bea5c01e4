#ifndef BASE_OBSERVER_LIST_H_
#define BASE_OBSERVER_LIST_H_

#include <stddef.h>
#include <stdint.h>

#include <algorithm>
#include <limits>
#include <vector>

#include "base/memory/weak_ptr.h"

namespace base {

// The observers of one notifying class, used on one thread. Observers may be
// added and removed while a notification runs: a removed one is skipped from
// then on, an added one is reached by the running notification only in a
// NOTIFY_ALL list.
template <class ObserverType>
class ObserverList {
 public:
  enum NotificationType : uint32_t {
    NOTIFY_ALL = 0,
    NOTIFY_EXISTING_ONLY = 1,
  };

  // Walks the list, skipping observers removed meanwhile. Ends quietly when
  // the list itself is destroyed during the walk.
  class Iter {
   public:
    explicit Iter(ObserverList* list)
        : list_(list->weak_factory_.GetWeakPtr()),
          index_(0),
          end_(list->type_ == NOTIFY_EXISTING_ONLY
                   ? list->observers_.size()
                   : std::numeric_limits<size_t>::max()) {
      ++list->notify_depth_;
    }
    Iter(const Iter&) = delete;
    Iter& operator=(const Iter&) = delete;

    ~Iter() {
      ObserverList* list = list_.get();
      if (list && --list->notify_depth_ == 0)
        list->Compact();
    }

    ObserverType* GetNext() {
      ObserverList* list = list_.get();
      if (!list)
        return nullptr;
      const size_t limit = std::min(list->observers_.size(), end_);
      while (index_ < limit) {
        ObserverType* observer = list->observers_[index_++];
        if (observer)
          return observer;
      }
      return nullptr;
    }

   private:
    WeakPtr<ObserverList> list_;
    size_t index_;
    size_t end_;
  };

  explicit ObserverList(NotificationType type = NOTIFY_ALL)
      : weak_factory_(this), type_(type) {}
  ObserverList(const ObserverList&) = delete;
  ObserverList& operator=(const ObserverList&) = delete;

  void AddObserver(ObserverType* observer) {
    // A null entry means "removed during a walk"; never store one.
    if (observer && !HasObserver(observer))
      observers_.push_back(observer);
  }

  void RemoveObserver(ObserverType* observer) {
    auto it = std::find(observers_.begin(), observers_.end(), observer);
    if (it == observers_.end())
      return;
    if (notify_depth_ == 0)
      observers_.erase(it);
    else
      *it = nullptr;
  }

  bool HasObserver(const ObserverType* observer) const {
    if (!observer)
      return false;
    return std::find(observers_.begin(), observers_.end(), observer) !=
           observers_.end();
  }

  void Clear() {
    if (notify_depth_ == 0) {
      observers_.clear();
      return;
    }
    std::fill(observers_.begin(), observers_.end(), nullptr);
  }

  bool might_have_observers() const { return !observers_.empty(); }

  // Calls `method` with `args` on every observer in list order.
  template <typename Method, typename... Args>
  void Notify(Method method, const Args&... args) {
    if (observers_.empty())
      return;
    Iter it(this);
    while (ObserverType* observer = it.GetNext())
      (observer->*method)(args...);
  }

 private:
  void Compact() {
    observers_.erase(std::remove(observers_.begin(), observers_.end(), nullptr),
                     observers_.end());
  }

  // Hands the iterators weak pointers to the list, so that a list destroyed
  // during a notification ends the walk instead of being read after free.
  WeakPtrFactory<ObserverList> weak_factory_;
  std::vector<ObserverType*> observers_;
  uint32_t notify_depth_ = 0;
  NotificationType type_;
};

}  // namespace base

#endif  // BASE_OBSERVER_LIST_H_
