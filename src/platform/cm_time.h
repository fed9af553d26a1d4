#ifndef VORN_PLATFORM_CM_TIME_H_
#define VORN_PLATFORM_CM_TIME_H_

#include <cstdint>

namespace vorn {

// A time as a rational number of seconds: value / timescale.
struct CMTime {
  std::int64_t value = 0;
  std::int32_t timescale = 1;
};

// A stretch of audio: where it starts and how long it lasts.
struct CMTimeRange {
  CMTime start;
  CMTime duration;
};

}  // namespace vorn

#endif  // VORN_PLATFORM_CM_TIME_H_
