#include "base/memory/ref_counted.h"

namespace base {
namespace subtle {

bool RefCountedThreadSafeBase::HasOneRef() const {
  return ref_count_.load() == 1;
}

void RefCountedThreadSafeBase::AddRef() const {
  ref_count_.fetch_add(1);
}

bool RefCountedThreadSafeBase::Release() const {
  // The value before the decrement decides: 1 means ours was the last.
  return ref_count_.fetch_sub(1) == 1;
}

}  // namespace subtle
}  // namespace base
