#include "transcription/progress_meter.h"

#include <cmath>
#include <utility>

namespace vorn {
namespace {

double seconds(CMTime time) {
  return time.timescale > 0 ? static_cast<double>(time.value) / time.timescale : 0.0;
}

}  // namespace

ProgressMeter::ProgressMeter(Listener listener, std::function<Clock::time_point()> now)
    : listener_(std::move(listener)), now_(std::move(now)) {}

void ProgressMeter::start(std::optional<CMTime> duration) {
  if (started_) return;
  started_ = true;
  const double length = duration ? seconds(*duration) : 0.0;
  durationSeconds_ = std::isfinite(length) && length > 0 ? length : 0.0;
  tell(0);
}

void ProgressMeter::advance(CMTime through) {
  if (!started_ || finished_ || durationSeconds_ == 0) return;
  const double fraction = seconds(through) / durationSeconds_;
  if (!(fraction > 0)) return;
  // Floor, so a percent is told only once that much is really done; 99 at
  // most, since the stated length may fall short of the real one.
  const int percent = fraction >= 0.99 ? 99 : static_cast<int>(fraction * 100);
  if (percent <= told_ || now_() - toldAt_ < kMinInterval) return;
  tell(percent);
}

void ProgressMeter::finish() {
  if (!started_ || finished_) return;
  finished_ = true;
  tell(100);
}

void ProgressMeter::tell(int percent) {
  told_ = percent;
  toldAt_ = now_();
  if (listener_) listener_(percent);
}

}  // namespace vorn
