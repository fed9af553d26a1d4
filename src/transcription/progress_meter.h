#ifndef VORN_TRANSCRIPTION_PROGRESS_METER_H_
#define VORN_TRANSCRIPTION_PROGRESS_METER_H_

// Turns how far a transcription has got through its audio into whole
// percents for someone watching, at a pace a person (or a progress bar) can
// follow: percents only rise, each is told at most once, and at most one
// every kMinInterval, so an hour of audio does not flood the reader and a
// file decoded in a blink does not either.
//
//   ProgressMeter meter([](int percent) { show(percent); });
//   meter.start(file.duration());     // tells 0
//   meter.advance(finalizedThrough);  // as the analysis goes on
//   meter.finish();                   // tells 100
//
// Not thread-safe: one thread calls it (the one that runs the analysis).

#include <chrono>
#include <functional>
#include <optional>

#include "platform/cm_time.h"

namespace vorn {

class ProgressMeter {
 public:
  using Clock = std::chrono::steady_clock;
  using Listener = std::function<void(int percent)>;

  // The least time between two percents told, but for the last (100).
  static constexpr std::chrono::milliseconds kMinInterval{500};

  // `listener` hears each percent told; `now` is the clock (tests put their
  // own).
  explicit ProgressMeter(Listener listener, std::function<Clock::time_point()> now = Clock::now);

  // The audio to go through is `duration` long, or of unknown length
  // (nothing, or a duration that is not positive): tells 0.
  void start(std::optional<CMTime> duration);

  // Everything before `through` is done. Tells the whole percent of the
  // duration that makes, held below 100 until finish() (the duration is
  // only what the file states), when it is above the last percent told and
  // kMinInterval has passed since then. Tells nothing before start(), after
  // finish(), or when the length is unknown.
  void advance(CMTime through);

  // Everything is done: tells 100, once. Nothing before start().
  void finish();

 private:
  void tell(int percent);

  Listener listener_;
  std::function<Clock::time_point()> now_;
  bool started_ = false;
  bool finished_ = false;
  double durationSeconds_ = 0;  // 0: unknown
  int told_ = -1;
  Clock::time_point toldAt_{};
};

}  // namespace vorn

#endif  // VORN_TRANSCRIPTION_PROGRESS_METER_H_
