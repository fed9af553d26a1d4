#ifndef VORN_PLATFORM_RESULTS_SEQUENCE_H_
#define VORN_PLATFORM_RESULTS_SEQUENCE_H_

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <stop_token>

#include "platform/attributed_string.h"
#include "platform/error.h"

namespace vorn {

// One recognition result. A result that is not final may later be replaced;
// a final one never changes.
struct SpeechTranscriberResult {
  bool isFinal = false;
  AttributedString text;
};

// The results of one transcriber, handed from the engine (which publishes) to
// one reader on another thread. It buffers everything published until the
// reader takes it, so a reader that starts late still sees every result from
// the start. Results are small (text, no audio), so the buffer is unbounded.
//
// Thread-safe: any number of publishing threads, one reading thread.
class ResultsSequence {
 public:
  // Producer side. Calls after finish() or fail() are ignored: the sequence
  // has one end.
  void publish(SpeechTranscriberResult result);
  void finish();          // ends the sequence after what was published
  void fail(Error error);  // fails it after what was published

  // Reader side. Blocks until the next result (returned), the end (nothing),
  // or a failure (the engine's error is thrown). Once `stop` is requested it
  // returns promptly, throwing an error that says the reading was cancelled.
  std::optional<SpeechTranscriberResult> next(std::stop_token stop = {});

 private:
  std::mutex mutex_;
  std::condition_variable_any changed_;
  std::deque<SpeechTranscriberResult> pending_;
  bool ended_ = false;
  std::optional<Error> failure_;
};

}  // namespace vorn

#endif  // VORN_PLATFORM_RESULTS_SEQUENCE_H_
