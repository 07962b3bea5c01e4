#include "base/time/default_clock.h"

namespace base {

Time DefaultClock::Now() {
  return Time::Now();
}

}  // namespace base
