#include "support/random_whisper_model.h"

#include <ggml.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

// The file layout follows whisper.cpp's whisper_model_load: every number is
// a little-endian 32-bit value, and the loader checks each tensor's name,
// shape and byte size against the model it builds from the header. Written
// by hand because whisper.cpp ships no writer, only Python converters from
// PyTorch checkpoints that cannot run here.

namespace vorn::testing {
namespace {

// Real files hold the 50,257 tokens of the byte-level BPE vocabulary; the
// loader adds the rest (end of text, languages, tasks, timestamps).
constexpr int kStoredTokens = 50257;
// The loader's first special token in an English-only model: token_eot.
constexpr int kFirstSpecialToken = 50256;
// token_beg + 1 for an English-only model; a smaller vocabulary has no room
// for the timestamps.
constexpr int kSmallestVocabulary = 51864;
// What whisper.cpp's converters store: 1 + n_fft / 2 frequency bins of a
// 400-sample FFT at 16 kHz.
constexpr int kSampleRate = 16000;
constexpr int kFrequencyBins = 201;

constexpr float kWeightRange = 0.05f;

// A scripted model's vocabulary: where its text tokens go, the first
// timestamp token of an English-only model, and the weights that make the
// script win by far at every step (the final layer norm's gain scales the
// logits; the position's pull outweighs the current token's).
constexpr int kFirstScriptedToken = 1000;
constexpr int kFirstTimestamp = 50363;
constexpr float kScriptGain = 10.0f;
constexpr float kScriptPull = 4.0f;

RandomWhisperModelConfig baseShape(int vocabulary) {
  RandomWhisperModelConfig config;
  config.vocabulary = vocabulary;
  config.audioContext = 1500;
  config.audioState = 512;
  config.audioHeads = 8;
  config.audioLayers = 6;
  config.textContext = 448;
  config.textState = 512;
  config.textHeads = 8;
  config.textLayers = 6;
  config.mels = 80;
  return config;
}

void validate(const RandomWhisperModelConfig& c) {
  auto fail = [](const std::string& why) { throw std::invalid_argument("random whisper model: " + why); };
  if (c.vocabulary < kSmallestVocabulary) fail("vocabulary below " + std::to_string(kSmallestVocabulary));
  if (c.audioState != c.textState) fail("whisper.cpp requires audioState == textState");
  if (c.audioContext < 1 || c.textContext < 1 || c.mels < 1) fail("contexts and mels must be positive");
  if (c.audioLayers < 1 || c.textLayers < 1) fail("layer counts must be positive");
  if (!c.script.empty() && c.vocabulary != kSmallestVocabulary) fail("a script needs the English-only vocabulary");
  if (static_cast<int>(c.script.size()) + 2 > c.textContext) fail("the script is longer than the text context");
  if (c.audioHeads < 1 || c.textHeads < 1 || c.audioState % c.audioHeads != 0 || c.textState % c.textHeads != 0) {
    fail("heads must divide the state");
  }
  if (c.weights == RandomWhisperModelConfig::WeightType::kQ8_0 && c.audioState % ggml_blck_size(GGML_TYPE_Q8_0) != 0) {
    fail("q8_0 rows must be a multiple of 32 values");
  }
}

// ---------------------------------------------------------------------------
// Vocabulary

// Common English words, so that a random model now and then writes a real
// one; most of its output comes from the syllable pieces below.
constexpr std::string_view kWords[] = {
    "the",   "and",   "of",    "to",     "a",      "in",     "that",  "is",    "was",   "he",    "for",
    "it",    "with",  "as",    "his",    "on",     "be",     "at",    "by",    "I",     "had",   "not",
    "are",   "but",   "from",  "or",     "have",   "an",     "they",  "which", "one",   "you",   "were",
    "her",   "all",   "she",   "there",  "would",  "their",  "we",    "him",   "been",  "has",   "when",
    "who",   "will",  "more",  "no",     "if",     "out",    "so",    "said",  "what",  "up",    "its",
    "about", "into",  "than",  "them",   "can",    "only",   "other", "new",   "some",  "could", "time",
    "these", "two",   "may",   "then",   "do",     "first",  "any",   "my",    "now",   "such",  "like",
    "our",   "over",  "man",   "me",     "even",   "most",   "made",  "after", "also",  "did",   "many",
    "well",  "way",   "down",  "should", "because","each",   "just",  "those", "people","how",   "too",
    "little","state", "good",  "very",   "make",   "world",  "still", "own",   "see",   "men",   "work",
    "long",  "get",   "here",  "between","both",   "life",   "being", "under", "never", "day",   "same",
};

constexpr std::string_view kOnsets[] = {
    "",   "b",  "c",  "d",  "f",  "g",  "h",  "j",  "k",  "l",  "m",  "n",  "p",  "r",  "s",
    "t",  "v",  "w",  "y",  "z",  "bl", "br", "ch", "cl", "cr", "dr", "fl", "fr", "gl", "gr",
    "pl", "pr", "sc", "sh", "sl", "sm", "sn", "sp", "st", "str","sw", "th", "tr", "wh",
};
constexpr std::string_view kVowels[] = {"a", "e", "i", "o", "u", "ai", "ea", "ee", "oo", "ou", "ie"};
constexpr std::string_view kCodas[] = {
    "", "n", "r", "s", "t", "l", "m", "d", "ng", "st", "nd", "ck", "ll", "rt", "nt", "sh", "ght", "ss",
};

std::string capitalized(std::string_view word) {
  std::string out(word);
  if (!out.empty() && out[0] >= 'a' && out[0] <= 'z') out[0] = static_cast<char>(out[0] - 'a' + 'A');
  return out;
}

void appendUtf8(std::string& out, unsigned codePoint) {
  if (codePoint < 0x80) {
    out += static_cast<char>(codePoint);
  } else {
    out += static_cast<char>(0xC0 | (codePoint >> 6));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  }
}

// 50,257 distinct tokens in the order a real vocabulary roughly has them:
// single characters first, then longer pieces. All valid UTF-8 (a real
// vocabulary also has byte pieces that split a character; leaving them out
// keeps a random model's output printable). The last stored token is
// end-of-text in an English-only file and empty in a multilingual one, as
// in the released files.
// A word piece that starts a word. Built by appending: GCC 12 at -O3 warns
// falsely (-Wrestrict) on `" " + std::string`.
std::string spaced(std::string_view piece) {
  std::string token(" ");
  token.append(piece);
  return token;
}

std::vector<std::string> makeVocabulary(bool multilingual) {
  std::vector<std::string> tokens;
  tokens.reserve(kStoredTokens);
  std::unordered_set<std::string> seen;
  auto add = [&](std::string token) {
    if (static_cast<int>(tokens.size()) < kFirstSpecialToken && seen.insert(token).second) {
      tokens.push_back(std::move(token));
    }
  };

  for (unsigned c = 0x21; c <= 0x7E; ++c) add(std::string(1, static_cast<char>(c)));
  for (unsigned c = 0xA1; c <= 0xFF; ++c) {
    std::string token;
    appendUtf8(token, c);
    add(std::move(token));
  }
  // whisper.cpp's decoder looks " " up by name (and " -", " '").
  for (std::string_view piece : {" ", " -", " '", "'s", "'t", "'re", "'ve", "'ll", "'m", "'d", "...", " (", ")",
                                 ".\"", ",\"", "?\"", " \"", "--", " --", ".)", "),", "'.", "!\""}) {
    add(std::string(piece));
  }
  for (std::string_view word : kWords) {
    add(spaced(word));
    add(std::string(word));
    add(spaced(capitalized(word)));
    add(capitalized(word));
  }
  for (int n = 0; n < 1000; ++n) add(spaced(std::to_string(n)));
  for (int n = 0; n < 100; ++n) add(std::to_string(n));

  std::vector<std::string> syllables;
  for (std::string_view onset : kOnsets) {
    for (std::string_view vowel : kVowels) {
      for (std::string_view coda : kCodas) syllables.push_back(std::string(onset) + std::string(vowel) + std::string(coda));
    }
  }
  for (const std::string& syllable : syllables) {
    add(spaced(syllable));
    add(syllable);
    add(spaced(capitalized(syllable)));
  }
  // Two-syllable words fill the rest; a fixed generator (not the model's
  // seed) so that every model has the same vocabulary.
  std::mt19937 pick(20240611u);
  while (static_cast<int>(tokens.size()) < kFirstSpecialToken) {
    const std::string& first = syllables[pick() % syllables.size()];
    const std::string& second = syllables[pick() % syllables.size()];
    add((pick() % 4 == 0 ? "" : " ") + first + second);
  }
  tokens.push_back(multilingual ? "" : "<|endoftext|>");
  return tokens;
}

// ---------------------------------------------------------------------------
// Mel filterbank, as librosa.filters.mel(sr=16000, n_fft=400, n_mels) builds
// it (Slaney mel scale and area normalisation) for the released models.

double hzToMel(double hz) {
  constexpr double kLinearStep = 200.0 / 3;
  constexpr double kLogStartHz = 1000;
  const double logStep = std::log(6.4) / 27;
  if (hz < kLogStartHz) return hz / kLinearStep;
  return kLogStartHz / kLinearStep + std::log(hz / kLogStartHz) / logStep;
}

double melToHz(double mel) {
  constexpr double kLinearStep = 200.0 / 3;
  constexpr double kLogStartHz = 1000;
  constexpr double kLogStartMel = kLogStartHz / kLinearStep;
  const double logStep = std::log(6.4) / 27;
  if (mel < kLogStartMel) return mel * kLinearStep;
  return kLogStartHz * std::exp(logStep * (mel - kLogStartMel));
}

std::vector<float> melFilters(int mels) {
  const double topMel = hzToMel(kSampleRate / 2.0);
  std::vector<double> edges(mels + 2);
  for (int i = 0; i < mels + 2; ++i) edges[i] = melToHz(topMel * i / (mels + 1));
  std::vector<float> filters(static_cast<size_t>(mels) * kFrequencyBins);
  for (int m = 0; m < mels; ++m) {
    const double norm = 2.0 / (edges[m + 2] - edges[m]);
    for (int k = 0; k < kFrequencyBins; ++k) {
      const double hz = kSampleRate / 2.0 * k / (kFrequencyBins - 1);
      const double rising = (hz - edges[m]) / (edges[m + 1] - edges[m]);
      const double falling = (edges[m + 2] - hz) / (edges[m + 2] - edges[m + 1]);
      filters[static_cast<size_t>(m) * kFrequencyBins + k] =
          static_cast<float>(norm * std::max(0.0, std::min(rising, falling)));
    }
  }
  return filters;
}

// ---------------------------------------------------------------------------
// Tensors

enum class Fill { kRandom, kOnes, kZeros };
enum class Storage { kWeights, kF16, kF32 };  // kWeights: the config's type

struct TensorSpec {
  std::string name;
  std::vector<int> shape;  // ggml order: shape[0] varies fastest
  Storage storage;
  Fill fill;
};

// Every tensor whisper.cpp's loader creates, in its order, with its shape and
// type: large matrices in the weight type, convolution kernels f16, the rest
// f32. Attention keys have no bias in whisper.
std::vector<TensorSpec> tensorSpecs(const RandomWhisperModelConfig& c) {
  std::vector<TensorSpec> specs;
  auto add = [&](std::string name, std::vector<int> shape, Storage storage, Fill fill = Fill::kRandom) {
    specs.push_back({std::move(name), std::move(shape), storage, fill});
  };
  auto block = [&](const std::string& prefix, int n) {
    add(prefix + "_ln.weight", {n}, Storage::kF32, Fill::kOnes);
    add(prefix + "_ln.bias", {n}, Storage::kF32, Fill::kZeros);
  };
  auto attention = [&](const std::string& prefix, int n) {
    block(prefix, n);
    add(prefix + ".query.weight", {n, n}, Storage::kWeights);
    add(prefix + ".query.bias", {n}, Storage::kF32);
    add(prefix + ".key.weight", {n, n}, Storage::kWeights);
    add(prefix + ".value.weight", {n, n}, Storage::kWeights);
    add(prefix + ".value.bias", {n}, Storage::kF32);
    add(prefix + ".out.weight", {n, n}, Storage::kWeights);
    add(prefix + ".out.bias", {n}, Storage::kF32);
  };
  auto mlp = [&](const std::string& prefix, int n) {
    block(prefix + ".mlp", n);
    add(prefix + ".mlp.0.weight", {n, 4 * n}, Storage::kWeights);
    add(prefix + ".mlp.0.bias", {4 * n}, Storage::kF32);
    add(prefix + ".mlp.2.weight", {4 * n, n}, Storage::kWeights);
    add(prefix + ".mlp.2.bias", {n}, Storage::kF32);
  };

  const int a = c.audioState;
  add("encoder.positional_embedding", {a, c.audioContext}, Storage::kF32);
  add("encoder.conv1.weight", {3, c.mels, a}, Storage::kF16);
  add("encoder.conv1.bias", {1, a}, Storage::kF32);
  add("encoder.conv2.weight", {3, a, a}, Storage::kF16);
  add("encoder.conv2.bias", {1, a}, Storage::kF32);
  add("encoder.ln_post.weight", {a}, Storage::kF32, Fill::kOnes);
  add("encoder.ln_post.bias", {a}, Storage::kF32, Fill::kZeros);
  for (int i = 0; i < c.audioLayers; ++i) {
    const std::string prefix = "encoder.blocks." + std::to_string(i);
    mlp(prefix, a);
    attention(prefix + ".attn", a);
  }

  const int t = c.textState;
  add("decoder.positional_embedding", {t, c.textContext}, Storage::kF32);
  add("decoder.token_embedding.weight", {t, c.vocabulary}, Storage::kWeights);
  add("decoder.ln.weight", {t}, Storage::kF32, Fill::kOnes);
  add("decoder.ln.bias", {t}, Storage::kF32, Fill::kZeros);
  for (int i = 0; i < c.textLayers; ++i) {
    const std::string prefix = "decoder.blocks." + std::to_string(i);
    mlp(prefix, t);
    attention(prefix + ".attn", t);
    attention(prefix + ".cross_attn", t);
  }
  return specs;
}

class Writer {
 public:
  explicit Writer(const std::filesystem::path& path) : path_(path), out_(path, std::ios::binary | std::ios::trunc) {
    if (!out_) throw std::runtime_error("cannot create " + path.string());
  }

  void int32(int32_t value) { bytes(&value, sizeof value); }
  void bytes(const void* data, size_t size) { out_.write(static_cast<const char*>(data), static_cast<std::streamsize>(size)); }

  void finish() {
    out_.close();
    if (!out_) throw std::runtime_error("cannot write " + path_.string());
  }

 private:
  std::filesystem::path path_;
  std::ofstream out_;
};

ggml_type storedType(Storage storage, RandomWhisperModelConfig::WeightType weights) {
  switch (storage) {
    case Storage::kF32:
      return GGML_TYPE_F32;
    case Storage::kF16:
      return GGML_TYPE_F16;
    case Storage::kWeights:
      break;
  }
  return weights == RandomWhisperModelConfig::WeightType::kQ8_0 ? GGML_TYPE_Q8_0 : GGML_TYPE_F16;
}

// Uniform in [-range, range) from the generator's raw output rather than
// std::uniform_real_distribution, whose results the standard leaves to each
// library: the same seed gives the same file everywhere.
void fillRandom(std::vector<float>& values, std::mt19937& random) {
  for (float& v : values) {
    const float unit = static_cast<float>(random() >> 8) * (1.0f / 16777216.0f);
    v = (2 * unit - 1) * kWeightRange;
  }
}

// What a scripted model's decoder must write, and the weights that make it.
class Script {
 public:
  explicit Script(const RandomWhisperModelConfig& config) : state_(config.textState) {
    for (const std::string& entry : config.script) {
      int id;
      if (entry.size() > 4 && entry.starts_with("<|") && entry.ends_with("|>")) {
        id = kFirstTimestamp + static_cast<int>(std::lround(std::stod(entry.substr(2, entry.size() - 4)) / 0.02));
      } else {
        const auto [text, added] = textTokens_.emplace(entry, kFirstScriptedToken + static_cast<int>(textTokens_.size()));
        id = text->second;
      }
      sequence_.push_back(id);
    }
    sequence_.push_back(kFirstSpecialToken);  // end of text
    for (const int id : sequence_) directions_.emplace(id, static_cast<int>(directions_.size()));
    if (static_cast<int>(directions_.size()) >= state_) {
      throw std::invalid_argument("random whisper model: more distinct script entries than textState - 1");
    }
  }

  void writeInto(std::vector<std::string>& vocabulary) const {
    for (const auto& [text, id] : textTokens_) vocabulary[static_cast<size_t>(id)] = text;
  }

  // Decoder position p holds the prompt's start-of-transcript (p = 0) or the
  // script's token p - 1, and points at the token after it.
  void shape(const TensorSpec& spec, std::vector<float>& values) const {
    const std::string& name = spec.name;
    auto at = [&](int row, int column) -> float& {
      return values[static_cast<size_t>(row) * static_cast<size_t>(state_) + static_cast<size_t>(column)];
    };
    if (name == "decoder.token_embedding.weight") {
      std::fill(values.begin(), values.end(), 0.0f);
      for (const auto& [id, direction] : directions_) at(id, direction) = 1.0f;
    } else if (name == "decoder.positional_embedding") {
      std::fill(values.begin(), values.end(), 0.0f);
      for (size_t p = 0; p < sequence_.size(); ++p) at(static_cast<int>(p), directions_.at(sequence_[p])) = kScriptPull;
    } else if (name == "decoder.ln.weight") {
      std::fill(values.begin(), values.end(), kScriptGain);
    } else if (name.starts_with("decoder.blocks.") &&
               (name.ends_with(".attn.out.weight") || name.ends_with(".attn.out.bias") ||
                name.ends_with(".mlp.2.weight") || name.ends_with(".mlp.2.bias"))) {
      std::fill(values.begin(), values.end(), 0.0f);  // self and cross attention alike
    }
  }

 private:
  int state_;
  std::map<std::string, int> textTokens_;
  std::vector<int> sequence_;
  std::map<int, int> directions_;  // token id -> the embedding dimension it owns
};

void writeTensor(Writer& out, const TensorSpec& spec, ggml_type type, std::mt19937& random, const Script* script) {
  size_t count = 1;
  for (int dim : spec.shape) count *= static_cast<size_t>(dim);
  std::vector<float> values(count, spec.fill == Fill::kOnes ? 1.0f : 0.0f);
  if (spec.fill == Fill::kRandom) fillRandom(values, random);
  if (script) script->shape(spec, values);

  out.int32(static_cast<int32_t>(spec.shape.size()));
  out.int32(static_cast<int32_t>(spec.name.size()));
  out.int32(static_cast<int32_t>(type));
  for (int dim : spec.shape) out.int32(dim);
  out.bytes(spec.name.data(), spec.name.size());

  switch (type) {
    case GGML_TYPE_F32:
      out.bytes(values.data(), values.size() * sizeof(float));
      break;
    case GGML_TYPE_F16: {
      std::vector<ggml_fp16_t> halves(count);
      ggml_fp32_to_fp16_row(values.data(), halves.data(), static_cast<int64_t>(count));
      out.bytes(halves.data(), halves.size() * sizeof(ggml_fp16_t));
      break;
    }
    default: {
      const int64_t rowLength = spec.shape[0];
      const int64_t rows = static_cast<int64_t>(count) / rowLength;
      std::vector<char> packed(ggml_row_size(type, rowLength) * static_cast<size_t>(rows));
      const size_t written = ggml_quantize_chunk(type, values.data(), packed.data(), 0, rows, rowLength, nullptr);
      out.bytes(packed.data(), written);
      break;
    }
  }
}

}  // namespace

RandomWhisperModelConfig RandomWhisperModelConfig::tiny() {
  RandomWhisperModelConfig config;
  config.vocabulary = 51864;
  config.audioContext = 1500;
  config.audioState = 64;
  config.audioHeads = 2;
  config.audioLayers = 1;
  config.textContext = 448;
  config.textState = 64;
  config.textHeads = 2;
  config.textLayers = 1;
  config.mels = 80;
  return config;
}

RandomWhisperModelConfig RandomWhisperModelConfig::baseEnDimensions() { return baseShape(51864); }

RandomWhisperModelConfig RandomWhisperModelConfig::baseDimensions() { return baseShape(51865); }

void writeRandomWhisperModel(const std::filesystem::path& path, const RandomWhisperModelConfig& config) {
  validate(config);
  const bool quantized = config.weights == RandomWhisperModelConfig::WeightType::kQ8_0;

  // Made before the file, since it too may refuse the config.
  const std::optional<Script> script =
      config.script.empty() ? std::nullopt : std::optional<Script>(std::in_place, config);

  Writer out(path);
  out.int32(static_cast<int32_t>(GGML_FILE_MAGIC));
  for (int value : {config.vocabulary, config.audioContext, config.audioState, config.audioHeads, config.audioLayers,
                    config.textContext, config.textState, config.textHeads, config.textLayers, config.mels}) {
    out.int32(value);
  }
  // Quantized files carry the quantization format's version in the
  // thousands, as whisper.cpp's quantize tool writes them.
  out.int32(quantized ? GGML_FTYPE_MOSTLY_Q8_0 + GGML_QNT_VERSION * GGML_QNT_VERSION_FACTOR : GGML_FTYPE_MOSTLY_F16);

  out.int32(config.mels);
  out.int32(kFrequencyBins);
  const std::vector<float> filters = melFilters(config.mels);
  out.bytes(filters.data(), filters.size() * sizeof(float));

  std::vector<std::string> vocabulary = makeVocabulary(config.vocabulary >= 51865);
  if (script) script->writeInto(vocabulary);
  out.int32(static_cast<int32_t>(vocabulary.size()));
  for (const std::string& token : vocabulary) {
    out.int32(static_cast<int32_t>(token.size()));
    out.bytes(token.data(), token.size());
  }

  std::mt19937 random(config.seed);
  for (const TensorSpec& spec : tensorSpecs(config)) {
    writeTensor(out, spec, storedType(spec.storage, config.weights), random, script ? &*script : nullptr);
  }
  out.finish();
}

}  // namespace vorn::testing
