#ifndef BASE_CHANNEL_H_
#define BASE_CHANNEL_H_

namespace base {

// Release channels, ordered from the least to the most stable.
constexpr int kChannelNightly = 1;
constexpr int kChannelDeveloper = 2;
constexpr int kChannelNext = 3;
constexpr int kChannelStable = 4;

// The channel this build belongs to.
constexpr int GetChannel() {
  return kChannelDeveloper;
}

}  // namespace base

#endif  // BASE_CHANNEL_H_
