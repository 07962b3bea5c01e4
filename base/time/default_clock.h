#ifndef BASE_TIME_DEFAULT_CLOCK_H_
#define BASE_TIME_DEFAULT_CLOCK_H_

#include "base/time/clock.h"

namespace base {

// The process clock, Time::Now. Stateless.
class DefaultClock : public Clock {
 public:
  Time Now() override;
};

}  // namespace base

#endif  // BASE_TIME_DEFAULT_CLOCK_H_
