#ifndef VORN_PLATFORM_ENGINES_ENGINE_ANALYZER_H_
#define VORN_PLATFORM_ENGINES_ENGINE_ANALYZER_H_

// The analyzer behind every on-device engine: it cuts the file's audio into
// utterances at pauses, has an UtteranceRecognizer decode each one, and
// publishes what was recognised as final results with word times. What an
// engine must provide is only the UtteranceRecognizer below, so adding an
// engine touches neither this file nor the transcription.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/engines/window_packer.h"
#include "platform/speech_engine.h"

namespace vorn {

// One recognised word of an utterance, placed on the utterance's 10 ms frame
// grid: frame f covers samples [f * kSamplesPerFrame, (f + 1) *
// kSamplesPerFrame) counted from the utterance's first sample.
struct RecognizedWord {
  static constexpr int kSamplesPerFrame = AudioFile::kSampleRate / 100;

  std::string text;  // the word as written, UTF-8, never empty
  int firstFrame = 0;
  int lastFrame = 0;  // inclusive; lastFrame >= firstFrame

  friend bool operator==(const RecognizedWord&, const RecognizedWord&) = default;
};

// Decodes one utterance at a time. Not thread-safe: decoding on several
// threads takes one recognizer per thread.
class UtteranceRecognizer {
 public:
  virtual ~UtteranceRecognizer() = default;

  // The words spoken in `samples` (mono, [-1, 1], AudioFile::kSampleRate),
  // decoded as one whole utterance, in the order spoken: no silence, no
  // noise markers, possibly none at all. Each word lies within the samples.
  // Throws vorn::Error when the engine fails.
  virtual std::vector<RecognizedWord> recognize(std::span<const float> samples) = 0;
};

// What a recognizer is told about the audio it will decode, beyond the
// samples: engines pick their model by it.
struct AudioTraits {
  // AudioFile::sourceSampleRate() of the file: 0 when unknown.
  int sourceSampleRate = 0;
  // Whether the file's first seconds of speech hold nothing above the
  // telephone band, whatever its sample rate (BandwidthMeter::narrowband()).
  bool narrowbandSpeech = false;

  friend bool operator==(const AudioTraits&, const AudioTraits&) = default;
};

// Makes a ready recognizer (its model loaded) for audio with the given
// traits. Throws vorn::Error when the model cannot be loaded. May be called
// more than once, for instance once per decoding thread, always with the
// same traits for one file.
using RecognizerFactory = std::function<std::unique_ptr<UtteranceRecognizer>(const AudioTraits&)>;

class EngineAnalyzer : public SpeechAnalyzer {
 public:
  // Cheap: no recognizer is made before an utterance needs decoding, so a
  // file without speech never loads a model.
  //
  // Utterances are decoded on up to `decoders` threads, each with its own
  // recognizer; a decoder is started only when an utterance is waiting and
  // every running one is busy, so a short file loads one model. By default,
  // one decoder per core, at least two.
  //
  // With `windowSamples` above 0, consecutive utterances are laid end to end
  // into windows of at most that many samples (WindowPacker), and each
  // window is decoded as one piece: for engines that pay per window. With 0
  // each utterance is decoded alone.
  EngineAnalyzer(std::shared_ptr<SpeechTranscriber> transcriber,
                 RecognizerFactory makeRecognizer, int decoders = defaultDecoderCount(),
                 std::size_t windowSamples = 0);

  static int defaultDecoderCount();

  // Reads the whole file, publishing one final result per window that
  // has words, strictly in audio order, as soon as it and every earlier
  // window are decoded; the output does not depend on the number of
  // decoders or on thread timing. Recognizers are made for the file's
  // AudioTraits, which include the bandwidth measured over its first
  // BandwidthMeter::kEnoughSeconds of speech, so decoding starts once that
  // much speech is read (or the file ends). Reading waits while 2 x decoders
  // utterances are read but not yet published, so memory stays bounded
  // however long the file.
  //
  // Returns the time of the file's end, {samples read, kSampleRate}, or
  // nothing when the file held no samples; in that case the transcriber's
  // results are finished before returning. Throws vorn::Error from the file
  // or the engine; the results are then left to the caller. Every decoder
  // thread has ended when this returns or throws.
  std::optional<CMTime> analyzeSequence(AudioFile& file) override;

  // Every result is final once published, so this only finishes the
  // transcriber's results.
  void finalizeAndFinish(CMTime through) override;

  // The result for the words decoded from `window`: their text joined by
  // single spaces, one run per word (the space before a word belongs to its
  // run, so the runs cover the text), each run with its audio time range on
  // the file's timeline at kSampleRate when `withTimes` (Window::toFile;
  // each word starting no earlier than the previous one ends). Pure, so
  // decoder threads can make results that are published later, in order.
  static SpeechTranscriberResult resultFor(const Window& window,
                                           const std::vector<RecognizedWord>& words,
                                           bool withTimes);

 private:
  std::shared_ptr<SpeechTranscriber> transcriber_;
  RecognizerFactory makeRecognizer_;
  int decoders_;
  std::size_t windowSamples_;
};

}  // namespace vorn

#endif  // VORN_PLATFORM_ENGINES_ENGINE_ANALYZER_H_
