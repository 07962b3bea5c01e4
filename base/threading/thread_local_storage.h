#ifndef BASE_THREADING_THREAD_LOCAL_STORAGE_H_
#define BASE_THREADING_THREAD_LOCAL_STORAGE_H_

namespace base {

// The module's own thread-local slots (1 to 255) over one system TLS index,
// with a destructor per slot that runs when a thread ends.
class ThreadLocalStorage {
 public:
  using TLSDestructorFunc = void (*)(void* value);

  static constexpr int kThreadLocalStorageSize = 256;
  // Passes over the slots at thread exit; a destructor that keeps setting
  // values cannot hold the thread forever.
  static constexpr int kMaxDestructorPasses = kThreadLocalStorageSize;

  // A slot in static storage, zero until Initialize.
  struct StaticSlot {
    // Takes the next slot number; the 256th slot of the process is fatal.
    void Initialize(TLSDestructorFunc destructor);
    void* Get() const;
    void Set(void* value);

    bool initialized;
    int slot;
  };

  // Runs the destructors over one thread's values: repeated passes from the
  // last used slot down to 1, each value cleared before its destructor sees
  // it, until a pass runs no destructor or the pass limit is reached.
  static void RunDestructors(void** values,
                             int last_used_slot,
                             const TLSDestructorFunc* destructors);

  ThreadLocalStorage() = delete;
};

#define TLS_INITIALIZER {false, 0}

}  // namespace base

#endif  // BASE_THREADING_THREAD_LOCAL_STORAGE_H_
