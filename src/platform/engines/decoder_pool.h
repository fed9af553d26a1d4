#ifndef VORN_PLATFORM_ENGINES_DECODER_POOL_H_
#define VORN_PLATFORM_ENGINES_DECODER_POOL_H_

// Decodes windows of audio on a set of threads, one recognizer each, and
// publishes their results in the order the windows were submitted, so that
// the output never depends on which thread finished first.
//
//   DecoderPool pool(makeRecognizer, traits, {.decoders = 4}, results);
//   for (Window& window : windows) pool.submit(std::move(window));
//   pool.drain();

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "platform/engines/utterance_recognizer.h"
#include "platform/engines/window_packer.h"
#include "platform/results_sequence.h"

namespace vorn {

class DecoderPool {
 public:
  struct Options {
    // Threads at most, each with its own recognizer (at least one). A
    // thread is started only when a window is waiting and every running one
    // is busy, so a short file loads one model.
    int decoders = 1;
    // Whether each word's result run carries its audio time range.
    bool withTimes = true;
  };

  // Recognizers are made with `makeRecognizer(traits)` on their own thread
  // the first time it has a window. `makeRecognizer` and `results` must
  // outlive the pool.
  DecoderPool(RecognizerFactory& makeRecognizer, AudioTraits traits, Options options,
              ResultsSequence& results);

  // Joins every decoder, also when the submitter leaves through an error.
  ~DecoderPool();

  DecoderPool(const DecoderPool&) = delete;
  DecoderPool& operator=(const DecoderPool&) = delete;

  // Queues `window` (at least one piece, as WindowPacker makes them), first
  // waiting while 2 x decoders windows are submitted but not yet published
  // (back-pressure: reading never runs away from decoding, so memory stays
  // bounded). A window whose words are none
  // publishes nothing. Throws the first decoder's error, and vorn::Error
  // when not even one decoder thread can be started.
  void submit(Window window);

  // Waits until every submitted window is published. Throws the first
  // decoder's error. `afterPublishing`, when given, runs on the calling
  // thread (without the pool's lock) each time one or more windows have
  // been published while it waits, so the caller can tell how far it got.
  void drain(const std::function<void()>& afterPublishing = {});

  // The file sample where the first window submitted but not yet published
  // starts (its first piece); nothing when every window is published.
  std::optional<std::int64_t> pendingFrom();

 private:
  struct Job {
    std::uint64_t index;
    Window window;
  };

  void decode();
  void publishInOrder();

  RecognizerFactory& makeRecognizer_;
  const AudioTraits traits_;
  const std::size_t maxDecoders_;
  const std::size_t capacity_;
  ResultsSequence& results_;
  const bool withTimes_;

  // Shared by the submitting thread and the decoder threads, hence the one
  // mutex.
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Job> queue_;
  // Decoded but waiting for an earlier window; empty when it had no words.
  std::map<std::uint64_t, std::optional<SpeechTranscriberResult>> finished_;
  // Where each window from nextToPublish_ on starts in the file.
  std::deque<std::int64_t> unpublishedStarts_;
  std::uint64_t nextIndex_ = 0;
  std::uint64_t nextToPublish_ = 0;
  std::size_t inFlight_ = 0;  // submitted, not yet published
  std::size_t idle_ = 0;
  bool closed_ = false;
  bool threadsExhausted_ = false;  // a thread could not be started: start no more
  std::exception_ptr error_;
  std::vector<std::thread> decoders_;
};

}  // namespace vorn

#endif  // VORN_PLATFORM_ENGINES_DECODER_POOL_H_
