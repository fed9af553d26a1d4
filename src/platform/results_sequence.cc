#include "platform/results_sequence.h"

namespace vorn {

void ResultsSequence::publish(SpeechTranscriberResult result) {
  {
    std::lock_guard lock(mutex_);
    if (ended_) return;
    pending_.push_back(std::move(result));
  }
  changed_.notify_all();
}

void ResultsSequence::finish() {
  {
    std::lock_guard lock(mutex_);
    ended_ = true;
  }
  changed_.notify_all();
}

void ResultsSequence::fail(Error error) {
  {
    std::lock_guard lock(mutex_);
    if (ended_) return;
    ended_ = true;
    failure_ = std::move(error);
  }
  changed_.notify_all();
}

std::optional<SpeechTranscriberResult> ResultsSequence::next(std::stop_token stop) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, stop, [this] { return !pending_.empty() || ended_; });
  if (stop.stop_requested()) throw Error("the reading of the transcription results was cancelled");
  if (!pending_.empty()) {
    SpeechTranscriberResult result = std::move(pending_.front());
    pending_.pop_front();
    return result;
  }
  if (failure_) throw *failure_;
  return std::nullopt;
}

}  // namespace vorn
