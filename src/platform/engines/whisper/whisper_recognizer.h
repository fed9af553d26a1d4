#ifndef VORN_PLATFORM_ENGINES_WHISPER_WHISPER_RECOGNIZER_H_
#define VORN_PLATFORM_ENGINES_WHISPER_WHISPER_RECOGNIZER_H_

// Recognition with whisper models through whisper.cpp, on the CPU.

#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/engines/utterance_recognizer.h"
#include "platform/engines/whisper/whisper_model_file.h"
#include "platform/engines/whisper/whisper_words.h"

// whisper.cpp's context, declared here so that its header stays out of ours.
struct whisper_context;

namespace vorn {

// Points whisper.cpp's and ggml's logging, one process-wide setting each, at
// nothing: the tool prints no lines but its own. Idempotent, thread-safe.
void silenceWhisperLogging();

// How a WhisperRecognizer times words and what it decodes with. The
// defaults are what the tool uses; the others stay for measuring against.
struct WhisperDecoding {
  enum class WordTimes {
    // Dynamic time warping over the cross-attention of the model's alignment
    // heads (alignment_heads.h) gives each token its start; a word ends
    // where the next one starts, or its segment ends. Both edges are then
    // fitted to the sound (fitWordEdges). The decoder's cross-attention is
    // then computed without flash attention, which does not expose the
    // heads; everything else keeps it.
    kAlignment,
    // The same without fitting the edges to the sound.
    kAlignmentUnfitted,
    // whisper.cpp's older per-token estimate from the timestamp tokens'
    // probabilities and the signal's energy.
    kTokenTimestamps,
  };
  WordTimes wordTimes = WordTimes::kAlignment;
  // Whether each call is given the text of the call before as its prompt.
  bool earlierTextAsContext = false;
  // Whether whisper.cpp's flash attention is on. With the alignment, the
  // decoder's cross-attention is computed without it either way; off, every
  // attention is (the only way unpatched whisper.cpp aligns).
  bool flashAttention = true;
};

class WhisperRecognizer : public UtteranceRecognizer {
 public:
  // Loads `model` (already inspected) to transcribe `language`, a code
  // whisper knows ("en", "fr", "zh"), using `threads` threads. Throws
  // vorn::Error naming the model file when whisper.cpp cannot load it.
  // Silences whisper.cpp's logging for the whole process.
  WhisperRecognizer(const WhisperModelInfo& model, std::string language, int threads,
                    WhisperDecoding decoding = {});
  ~WhisperRecognizer() override;

  WhisperRecognizer(const WhisperRecognizer&) = delete;
  WhisperRecognizer& operator=(const WhisperRecognizer&) = delete;

  // Transcribes `samples` in the given language with the decoding settings
  // whisper.cpp's own command line uses by default: beam search of 5, and
  // temperature fallback with its entropy, log-probability and no-speech
  // thresholds (they keep repetition loops and made-up text out). Words as
  // joinWhisperTokens makes them, timed as the WhisperDecoding says. By
  // default each call decodes its samples alone: no text decoded before is
  // given as context, so a window's words depend on its own audio and a
  // misheard window does not lead the next astray.
  // Throws vorn::Error when decoding fails.
  std::vector<RecognizedWord> recognize(std::span<const float> samples) override;

 private:
  struct FreeContext {
    void operator()(whisper_context* context) const noexcept;
  };

  std::unique_ptr<whisper_context, FreeContext> context_;
  std::string language_;
  int threads_;
  WhisperDecoding decoding_;
};

}  // namespace vorn

#endif  // VORN_PLATFORM_ENGINES_WHISPER_WHISPER_RECOGNIZER_H_
