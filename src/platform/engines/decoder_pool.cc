#include "platform/engines/decoder_pool.h"

#include <algorithm>
#include <system_error>
#include <utility>

#include "platform/cm_time.h"
#include "platform/error.h"

namespace vorn {
namespace {

// The result for the words decoded from `window`: their text joined by
// single spaces, one run per word (the space before a word belongs to its
// run, so the runs cover the text), each run with its audio time range on
// the file's timeline at kSampleRate when `withTimes` (Window::toFile; each
// word starting no earlier than the previous one ends). Pure, so decoder
// threads can make results that are published later, in order.
SpeechTranscriberResult resultFor(const Window& window, const std::vector<RecognizedWord>& words,
                                  bool withTimes) {
  constexpr std::int64_t kFrame = AudioFile::kFrameSamples;
  SpeechTranscriberResult result;
  result.isFinal = true;
  // Engines that estimate times (whisper's token timestamps) may let a word
  // begin before the previous one ends; each word starts no earlier than the
  // previous one ended, so the words are in order and never overlap.
  std::int64_t previousEnd = 0;
  for (const RecognizedWord& word : words) {
    const bool first = &word == &words.front();
    AttributeContainer attributes;
    if (withTimes) {
      Window::Span span = window.toFile(word.firstFrame * kFrame, (word.lastFrame + 1) * kFrame);
      span.start = std::max(span.start, previousEnd);
      span.end = std::max(span.end, span.start);
      previousEnd = span.end;
      attributes.audioTimeRange = CMTimeRange{
          .start = {span.start, AudioFile::kSampleRate},
          .duration = {span.end - span.start, AudioFile::kSampleRate},
      };
    }
    result.text.append(first ? word.text : " " + word.text, std::move(attributes));
  }
  return result;
}

}  // namespace

DecoderPool::DecoderPool(RecognizerFactory& makeRecognizer, AudioTraits traits, Options options,
                         ResultsSequence& results)
    : makeRecognizer_(makeRecognizer),
      traits_(traits),
      maxDecoders_(static_cast<std::size_t>(std::max(1, options.decoders))),
      capacity_(2 * maxDecoders_),
      results_(results),
      withTimes_(options.withTimes) {
  // Never reallocated: a thread is started only once its slot exists.
  decoders_.reserve(maxDecoders_);
}

DecoderPool::~DecoderPool() {
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
  }
  changed_.notify_all();
  for (std::thread& decoder : decoders_) decoder.join();
}

void DecoderPool::submit(Window window) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return inFlight_ < capacity_ || error_; });
  if (error_) std::rethrow_exception(error_);
  unpublishedStarts_.push_back(window.pieces.front().fileStart);
  queue_.push_back({nextIndex_++, std::move(window)});
  ++inFlight_;
  if (idle_ == 0 && decoders_.size() < maxDecoders_ && !threadsExhausted_) {
    ++idle_;  // counted as idle until it takes its first window
    try {
      decoders_.emplace_back([this] { decode(); });
    } catch (const std::system_error&) {
      // No room for another thread (its stack counts against an
      // address-space limit, for one): the decoders running carry on.
      --idle_;
      if (decoders_.empty()) {
        throw Error("not enough memory or threads left to start decoding the audio");
      }
      threadsExhausted_ = true;
    }
  }
  lock.unlock();
  changed_.notify_all();
}

void DecoderPool::drain(const std::function<void()>& afterPublishing) {
  std::unique_lock lock(mutex_);
  while (true) {
    const std::uint64_t published = nextToPublish_;
    changed_.wait(lock, [&] { return inFlight_ == 0 || error_ || nextToPublish_ != published; });
    if (error_) std::rethrow_exception(error_);
    if (inFlight_ == 0) return;
    if (afterPublishing) {
      lock.unlock();
      afterPublishing();
      lock.lock();
    }
  }
}

std::optional<std::int64_t> DecoderPool::pendingFrom() {
  std::lock_guard lock(mutex_);
  if (unpublishedStarts_.empty()) return std::nullopt;
  return unpublishedStarts_.front();
}

void DecoderPool::decode() {
  std::unique_ptr<UtteranceRecognizer> recognizer;
  std::unique_lock lock(mutex_);
  while (true) {
    changed_.wait(lock, [this] { return !queue_.empty() || closed_ || error_; });
    if (queue_.empty() || error_) return;
    Job job = std::move(queue_.front());
    queue_.pop_front();
    --idle_;
    lock.unlock();

    std::optional<SpeechTranscriberResult> result;
    std::exception_ptr failure;
    try {
      // Each decoder loads its own model the first time it is needed, so
      // the models of several decoders load at the same time.
      if (!recognizer) recognizer = makeRecognizer_(traits_);
      if (!recognizer) throw Error("the speech engine could not be started");
      const std::vector<RecognizedWord> words = recognizer->recognize(job.window.samples);
      if (!words.empty()) result = resultFor(job.window, words, withTimes_);
    } catch (...) {
      failure = std::current_exception();
    }
    job.window.samples = {};

    lock.lock();
    ++idle_;
    if (failure) {
      if (!error_) error_ = failure;
    } else {
      finished_.emplace(job.index, std::move(result));
      publishInOrder();
    }
    changed_.notify_all();
  }
}

// Called with the mutex held, so results leave in order.
void DecoderPool::publishInOrder() {
  for (auto next = finished_.find(nextToPublish_); next != finished_.end();
       next = finished_.find(nextToPublish_)) {
    if (next->second) results_.publish(std::move(*next->second));
    finished_.erase(next);
    unpublishedStarts_.pop_front();
    ++nextToPublish_;
    --inFlight_;
  }
}

}  // namespace vorn
