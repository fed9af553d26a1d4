#include "platform/engines/engine_analyzer.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <map>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/error.h"
#include "platform/engines/bandwidth_meter.h"
#include "platform/engines/speech_likeness.h"
#include "platform/engines/utterance_splitter.h"
#include "platform/engines/window_packer.h"

namespace vorn {
namespace {

// How much audio one read asks for: small enough to keep memory flat, large
// enough that reading costs nothing next to decoding.
constexpr std::size_t kReadSamples = AudioFile::kSampleRate;

// Decodes utterances on a set of threads and publishes their results in the
// order the utterances were submitted. The state below is shared by the
// submitting thread and the decoder threads, hence the one mutex.
class DecoderPool {
 public:
  DecoderPool(RecognizerFactory& makeRecognizer, AudioTraits traits, int decoders,
              ResultsSequence& results, bool withTimes)
      : makeRecognizer_(makeRecognizer),
        traits_(traits),
        maxDecoders_(static_cast<std::size_t>(std::max(1, decoders))),
        capacity_(2 * maxDecoders_),
        results_(results),
        withTimes_(withTimes) {
    // Never reallocated: a thread is started only once its slot exists.
    decoders_.reserve(maxDecoders_);
  }

  // Joins every decoder, also when the submitter leaves through an error.
  ~DecoderPool() {
    {
      std::lock_guard lock(mutex_);
      closed_ = true;
    }
    changed_.notify_all();
    for (std::thread& decoder : decoders_) decoder.join();
  }

  DecoderPool(const DecoderPool&) = delete;
  DecoderPool& operator=(const DecoderPool&) = delete;

  // Queues `utterance`, first waiting while `capacity_` utterances are in
  // flight (back-pressure: reading never runs away from decoding). Throws
  // the first decoder's error.
  void submit(Window window) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return inFlight_ < capacity_ || error_; });
    if (error_) std::rethrow_exception(error_);
    queue_.push_back({nextIndex_++, std::move(window)});
    ++inFlight_;
    if (idle_ == 0 && decoders_.size() < maxDecoders_ && !threadsExhausted_) {
      ++idle_;  // counted as idle until it takes its first utterance
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

  // Waits until every submitted utterance is published. Throws the first
  // decoder's error.
  void drain() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return inFlight_ == 0 || error_; });
    if (error_) std::rethrow_exception(error_);
  }

 private:
  struct Job {
    std::uint64_t index;
    Window window;
  };

  void decode() {
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
        if (!words.empty()) result = EngineAnalyzer::resultFor(job.window, words, withTimes_);
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

  // Publishes the finished results that follow the last published one
  // without a gap. Called with the mutex held, so results leave in order.
  void publishInOrder() {
    for (auto next = finished_.find(nextToPublish_); next != finished_.end();
         next = finished_.find(nextToPublish_)) {
      if (next->second) results_.publish(std::move(*next->second));
      finished_.erase(next);
      ++nextToPublish_;
      --inFlight_;
    }
  }

  RecognizerFactory& makeRecognizer_;
  const AudioTraits traits_;
  const std::size_t maxDecoders_;
  const std::size_t capacity_;
  ResultsSequence& results_;
  const bool withTimes_;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Job> queue_;
  // Decoded but waiting for an earlier utterance; empty when it had no words.
  std::map<std::uint64_t, std::optional<SpeechTranscriberResult>> finished_;
  std::uint64_t nextIndex_ = 0;
  std::uint64_t nextToPublish_ = 0;
  std::size_t inFlight_ = 0;  // submitted, not yet published
  std::size_t idle_ = 0;
  bool closed_ = false;
  bool threadsExhausted_ = false;  // a thread could not be started: start no more
  std::exception_ptr error_;
  std::vector<std::thread> decoders_;
};

}  // namespace

int EngineAnalyzer::defaultDecoderCount() {
  return std::max(2, static_cast<int>(std::thread::hardware_concurrency()));
}

EngineAnalyzer::EngineAnalyzer(std::shared_ptr<SpeechTranscriber> transcriber,
                               RecognizerFactory makeRecognizer, int decoders,
                               std::size_t windowSamples)
    : transcriber_(std::move(transcriber)),
      makeRecognizer_(std::move(makeRecognizer)),
      decoders_(decoders),
      windowSamples_(windowSamples) {}

std::optional<CMTime> EngineAnalyzer::analyzeSequence(AudioFile& file) {
  // The traits a recognizer is made for include the measured bandwidth of
  // the speech, so nothing is decoded before the meter has heard enough
  // speech (or the file ends): the windows finished until then wait here.
  AudioTraits traits{.sourceSampleRate = file.sourceSampleRate()};
  BandwidthMeter bandwidth;
  std::vector<Window> waiting;
  std::optional<DecoderPool> pool;
  UtteranceSplitter splitter;
  WindowPacker packer(windowSamples_);
  // Moves what the splitter has finished on into the packer and what the
  // packer has finished on to the decoders; at the end of the file, both
  // are flushed first, in that order, so the last utterance is not left in
  // an open window.
  auto submitFinished = [&](bool atEnd) {
    if (atEnd) splitter.flush();
    // Music, tones and noise reach no engine: every engine finds words in
    // them.
    while (std::optional<Utterance> utterance = splitter.take()) {
      if (!soundsLikeSpeech(utterance->samples)) continue;
      if (!pool) bandwidth.add(utterance->samples);
      packer.push(std::move(*utterance));
    }
    if (atEnd) packer.flush();
    while (std::optional<Window> window = packer.take()) waiting.push_back(std::move(*window));
    if (!pool && (atEnd || bandwidth.measuredSeconds() >= BandwidthMeter::kEnoughSeconds)) {
      traits.narrowbandSpeech = bandwidth.narrowband();
      pool.emplace(makeRecognizer_, traits, decoders_, transcriber_->results(),
                   transcriber_->attributeOptions().audioTimeRange);
    }
    if (!pool) return;
    for (Window& window : waiting) pool->submit(std::move(window));
    waiting.clear();
  };

  std::vector<float> buffer(kReadSamples);
  std::int64_t samplesRead = 0;
  while (const std::size_t count = std::min(file.read(buffer), buffer.size())) {
    samplesRead += static_cast<std::int64_t>(count);
    splitter.push(std::span<const float>(buffer).first(count));
    submitFinished(false);
  }
  submitFinished(true);
  pool->drain();

  if (samplesRead == 0) {
    transcriber_->results().finish();
    return std::nullopt;
  }
  return CMTime{samplesRead, AudioFile::kSampleRate};
}

void EngineAnalyzer::finalizeAndFinish(CMTime /*through*/) { transcriber_->results().finish(); }

SpeechTranscriberResult EngineAnalyzer::resultFor(const Window& window,
                                                  const std::vector<RecognizedWord>& words,
                                                  bool withTimes) {
  constexpr std::int64_t kFrame = RecognizedWord::kSamplesPerFrame;
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

}  // namespace vorn
