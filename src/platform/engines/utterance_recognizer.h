#ifndef VORN_PLATFORM_ENGINES_UTTERANCE_RECOGNIZER_H_
#define VORN_PLATFORM_ENGINES_UTTERANCE_RECOGNIZER_H_

// What an on-device engine provides: a recognizer that decodes one
// utterance at a time, and a factory that makes one per decoding thread.
// Everything else (reading, cutting the audio at pauses, packing, ordering
// the results, timing) is the analyzer's, the same for every engine.

#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/audio_file.h"

namespace vorn {

// One recognised word of an utterance, placed on the utterance's 10 ms frame
// grid: frame f covers samples [f * AudioFile::kFrameSamples, (f + 1) *
// AudioFile::kFrameSamples) counted from the utterance's first sample.
struct RecognizedWord {
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
  // Measured only for engines that ask for it (EngineAnalyzer::Options::
  // measureBandwidth); false for the others.
  bool narrowbandSpeech = false;

  friend bool operator==(const AudioTraits&, const AudioTraits&) = default;
};

// Makes a ready recognizer (its model loaded) for audio with the given
// traits. Throws vorn::Error when the model cannot be loaded. May be called
// more than once, for instance once per decoding thread, always with the
// same traits for one file.
using RecognizerFactory = std::function<std::unique_ptr<UtteranceRecognizer>(const AudioTraits&)>;

}  // namespace vorn

#endif  // VORN_PLATFORM_ENGINES_UTTERANCE_RECOGNIZER_H_
