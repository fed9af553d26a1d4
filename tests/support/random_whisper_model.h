#ifndef VORN_TESTS_SUPPORT_RANDOM_WHISPER_MODEL_H_
#define VORN_TESTS_SUPPORT_RANDOM_WHISPER_MODEL_H_

// Whisper models with random weights, written in whisper.cpp's own ggml file
// format, so that tests and the benchmark run the real loading and decoding
// code where no trained model can be downloaded. Such a model loads and
// decodes like a trained one of the same dimensions (same memory, same work
// per window) but its words are made up: a few pseudo-words per 30-second
// window, often with times past the end of the audio.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace vorn::testing {

struct RandomWhisperModelConfig {
  // How the large matrices are stored. Layer norms, biases and positional
  // embeddings are float32 and the convolutions float16 in every case, as
  // whisper.cpp's loader expects.
  enum class WeightType { kF16, kQ8_0 };

  // whisper.cpp tells the model kinds apart by this number alone: 51864 is
  // an English-only (.en) model, 51865 a multilingual one, 51866 large-v3's
  // multilingual vocabulary. Less than 51864 leaves no room for the
  // timestamp tokens and is refused.
  int vocabulary = 51864;
  int audioContext = 1500;  // encoder positions: 1500 is 30 s, all real models
  int audioState = 512;     // must equal textState
  int audioHeads = 8;       // must divide audioState
  int audioLayers = 6;
  int textContext = 448;
  int textState = 512;
  int textHeads = 8;        // must divide textState
  int textLayers = 6;
  int mels = 80;            // 80, or 128 for large-v3
  WeightType weights = WeightType::kF16;
  uint32_t seed = 1;

  // When not empty, a scripted model rather than a random one: its decoder
  // writes exactly these tokens after its prompt, whatever the audio, then
  // the end of text. Each entry is a token's bytes (any bytes: a piece of a
  // character too), or "<|T|>" for the timestamp token at T seconds (a
  // multiple of 0.02; the first entry must be one of at most 1 s, as
  // whisper.cpp requires). Text entries take the place of stored tokens
  // 1000, 1001, ... in the vocabulary. English-only vocabulary only; at most
  // textState - 1 distinct entries, and fewer than textContext in all.
  std::vector<std::string> script;

  // A small English-only model for tests: loads and decodes a window in a
  // small fraction of a second, and still has real models' 30-second
  // windows, text context and vocabulary.
  static RandomWhisperModelConfig tiny();
  // The dimensions of the released base.en model (74 M parameters, about
  // 148 MB in f16): the benchmark's model.
  static RandomWhisperModelConfig baseEnDimensions();
  // The same for the multilingual base model.
  static RandomWhisperModelConfig baseDimensions();
};

// Writes a model with `config`'s dimensions to `path`, replacing any file
// there. A scripted model (config.script) is built so that each decoder
// position's embedding points at the token that must follow it: every
// decoder block adds nothing (its output projections are zero), so the
// final layer norm sees the token and position embeddings alone, and only
// the script's tokens have a token embedding. Otherwise: The same config (seed included) gives the same bytes. Weights are
// uniform in [-0.05, 0.05] with layer norms at weight 1 and bias 0, so that
// every activation stays finite; the mel filters are the Slaney-style
// triangular filterbank real models carry. The vocabulary holds 50,257
// distinct valid UTF-8 tokens like a real file: single characters, " ",
// punctuation, common English words with and without a leading space, and
// syllable-made word pieces; whisper.cpp adds the special tokens itself.
// Throws std::invalid_argument for dimensions whisper.cpp cannot load and
// std::runtime_error when the file cannot be written.
void writeRandomWhisperModel(const std::filesystem::path& path, const RandomWhisperModelConfig& config);

}  // namespace vorn::testing

#endif  // VORN_TESTS_SUPPORT_RANDOM_WHISPER_MODEL_H_
