#ifndef VORN_PLATFORM_ENGINES_ENGINE_ANALYZER_H_
#define VORN_PLATFORM_ENGINES_ENGINE_ANALYZER_H_

// The analyzer behind every on-device engine: it cuts the file's audio into
// utterances at pauses, has an UtteranceRecognizer decode each one, and
// publishes what was recognised as final results with word times. What an
// engine must provide is only an UtteranceRecognizer and its factory
// (utterance_recognizer.h), so adding an engine touches neither this file
// nor the transcription.

#include <cstddef>
#include <memory>
#include <optional>

#include "platform/engines/utterance_recognizer.h"
#include "platform/speech_engine.h"

namespace vorn {

class EngineAnalyzer : public SpeechAnalyzer {
 public:
  static int defaultDecoderCount();  // one per core, at least two

  struct Options {
    // Utterances are decoded on up to this many threads, each with its own
    // recognizer; a decoder is started only when an utterance is waiting
    // and every running one is busy, so a short file loads one model.
    int decoders = defaultDecoderCount();
    // Above 0, consecutive utterances are laid end to end into windows of
    // at most this many samples (WindowPacker), and each window is decoded
    // as one piece: for engines that pay per window. With 0 each utterance
    // is decoded alone.
    std::size_t windowSamples = 0;
    // Silence laid between consecutive utterances in a window.
    std::size_t joinGapSamples = 0;
    // Whether the recognizers are made for the measured bandwidth of the
    // speech (AudioTraits::narrowbandSpeech). Measuring it takes the file's
    // first BandwidthMeter::kEnoughSeconds of speech, and decoding waits
    // for them (or for the end of the file); without it decoding starts as
    // soon as the first utterance or window is complete.
    bool measureBandwidth = false;
  };

  // Cheap: no recognizer is made before an utterance needs decoding, so a
  // file without speech never loads a model.
  EngineAnalyzer(std::shared_ptr<SpeechTranscriber> transcriber, RecognizerFactory makeRecognizer);
  EngineAnalyzer(std::shared_ptr<SpeechTranscriber> transcriber, RecognizerFactory makeRecognizer,
                 Options options);

  // Reads the whole file, publishing one final result per window that has
  // words, strictly in audio order, as soon as it and every earlier window
  // are decoded; the output does not depend on the number of decoders or
  // on thread timing. Recognizers are made for the file's AudioTraits.
  // Reading waits while 2 x decoders utterances are read but not yet
  // published, so memory stays bounded however long the file.
  //
  // Reports progress (SpeechAnalyzer::setProgressHandler) after each read
  // and each time decoded windows are published: the start of the earliest
  // audio not yet decoded and published, or not yet judged to hold no
  // speech. Pauses, music and noise count as done once judged, so a file
  // without speech moves as fast as it is read.
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

 private:
  std::shared_ptr<SpeechTranscriber> transcriber_;
  RecognizerFactory makeRecognizer_;
  Options options_;
};

}  // namespace vorn

#endif  // VORN_PLATFORM_ENGINES_ENGINE_ANALYZER_H_
