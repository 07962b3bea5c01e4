#ifndef COMPONENTS_PREFS_PERSISTENT_PREF_STORE_H_
#define COMPONENTS_PREFS_PERSISTENT_PREF_STORE_H_

#include <stdint.h>

#include <memory>
#include <string>

#include "components/prefs/pref_store.h"

namespace base {

// The outcome of reading a store's backing file.
enum PrefReadError : int32_t {
  PREF_READ_ERROR_NONE = 0,
  PREF_READ_ERROR_JSON_PARSE = 1,
  PREF_READ_ERROR_JSON_TYPE = 2,
  PREF_READ_ERROR_ACCESS_DENIED = 3,
  PREF_READ_ERROR_FILE_OTHER = 4,
  PREF_READ_ERROR_FILE_LOCKED = 5,
  PREF_READ_ERROR_NO_FILE = 6,
  PREF_READ_ERROR_JSON_REPEAT = 7,
};

// A pref store that can be changed and is kept on disk.
class PersistentPrefStore : public PrefStore {
 public:
  // Bits passed with every change.
  enum PrefWriteFlags : uint32_t {
    DEFAULT_PREF_WRITE_FLAGS = 0,
    // The change alone does not start a write; it goes out with the next
    // one.
    LOSSY_PREF_WRITE_FLAG = 1 << 1,
  };

  class ReadErrorDelegate {
   public:
    virtual ~ReadErrorDelegate() = default;
    virtual void OnError(PrefReadError error) = 0;
  };

  virtual void SetValue(const std::string& key,
                        std::unique_ptr<Value> value,
                        uint32_t flags) = 0;
  virtual void RemoveValue(const std::string& key, uint32_t flags) = 0;
  // A caller that changes the value in place calls ReportValueChanged.
  virtual bool GetMutableValue(const std::string& key, Value** result) = 0;
  virtual void ReportValueChanged(const std::string& key, uint32_t flags) = 0;
  // Like SetValue, without telling observers.
  virtual void SetValueSilently(const std::string& key,
                                std::unique_ptr<Value> value,
                                uint32_t flags) = 0;
  virtual bool ReadOnly() const = 0;
  virtual PrefReadError GetReadError() const = 0;
  virtual PrefReadError ReadPrefs() = 0;
  // Takes ownership of |error_delegate| (may be null).
  virtual void ReadPrefsAsync(ReadErrorDelegate* error_delegate) = 0;
  virtual void CommitPendingWrite() = 0;
  virtual void SchedulePendingLossyWrites() = 0;
  virtual void ClearMutableValues() = 0;

 protected:
  ~PersistentPrefStore() override = default;
};

}  // namespace base

#endif  // COMPONENTS_PREFS_PERSISTENT_PREF_STORE_H_
