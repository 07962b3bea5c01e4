#ifndef COMPONENTS_PREFS_PREF_STORE_H_
#define COMPONENTS_PREFS_PREF_STORE_H_

#include <string>

#include "base/memory/ref_counted.h"

namespace base {

class Value;

// A set of preference values, read by dotted key. Reference counted so
// that a posted reply can keep a store alive.
class PrefStore : public RefCountedThreadSafe<PrefStore> {
 public:
  class Observer {
   public:
    virtual void OnPrefValueChanged(const std::string& key) = 0;
    virtual void OnInitializationCompleted(bool succeeded) = 0;

   protected:
    ~Observer() = default;
  };

  PrefStore() = default;
  PrefStore(const PrefStore&) = delete;
  PrefStore& operator=(const PrefStore&) = delete;

  virtual void AddObserver(Observer* observer) = 0;
  virtual void RemoveObserver(Observer* observer) = 0;
  virtual bool HasObservers() const = 0;
  virtual bool IsInitializationComplete() const = 0;
  // False when absent. |result| (may be null) borrows the stored value.
  virtual bool GetValue(const std::string& key,
                        const Value** result) const = 0;

 protected:
  friend class RefCountedThreadSafe<PrefStore>;
  virtual ~PrefStore() = default;
};

}  // namespace base

#endif  // COMPONENTS_PREFS_PREF_STORE_H_
