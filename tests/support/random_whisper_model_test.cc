#include "support/random_whisper_model.h"

#include <gtest/gtest.h>
#include <whisper.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "text/utf8.h"

namespace vorn::testing {
namespace {

using WeightType = RandomWhisperModelConfig::WeightType;

// 2.8 s of a man saying "go forward ten meters", raw 16 kHz mono 16-bit.
constexpr const char* kSpeech = "/usr/share/pocketsphinx/test/data/goforward.raw";

struct FreeContext {
  void operator()(whisper_context* context) const noexcept { whisper_free(context); }
};
using Context = std::unique_ptr<whisper_context, FreeContext>;

Context load(const std::filesystem::path& path) {
  whisper_context_params params = whisper_context_default_params();
  params.use_gpu = false;
  return Context(whisper_init_from_file_with_params(path.c_str(), params));
}

std::string fileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

std::vector<float> readRawSpeech(const std::string& path) {
  const std::string bytes = fileBytes(path);
  std::vector<float> samples(bytes.size() / 2);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    std::int16_t value;
    std::memcpy(&value, bytes.data() + 2 * i, 2);  // little-endian host
    samples[i] = static_cast<float>(value) / 32768.0f;
  }
  return samples;
}

class RandomWhisperModelTest : public ::testing::Test {
 protected:
  // whisper.cpp logs every load to stderr; the tests' output stays readable.
  static void SetUpTestSuite() {
    whisper_log_set([](enum ggml_log_level, const char*, void*) {}, nullptr);
  }

  TempDir dir_;
};

struct LoadCase {
  std::string name;
  RandomWhisperModelConfig config;
  int ftype;  // what whisper.cpp reports for the weight type
  bool multilingual;
};

RandomWhisperModelConfig withVocabulary(RandomWhisperModelConfig config, int vocabulary) {
  config.vocabulary = vocabulary;
  return config;
}

RandomWhisperModelConfig quantized(RandomWhisperModelConfig config) {
  config.weights = WeightType::kQ8_0;
  return config;
}

// Dimensions that differ from one another, so that a field written in the
// wrong place shows.
RandomWhisperModelConfig unevenDimensions() {
  RandomWhisperModelConfig config = RandomWhisperModelConfig::tiny();
  config.audioHeads = 4;
  config.audioLayers = 2;
  config.textContext = 224;
  config.textHeads = 1;
  config.textLayers = 3;
  config.mels = 128;
  return config;
}

class RandomWhisperModelLoadTest : public RandomWhisperModelTest, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(RandomWhisperModelLoadTest, LoadsWithTheConfiguredDimensions) {
  const RandomWhisperModelConfig& config = GetParam().config;
  const std::filesystem::path path = std::filesystem::path(dir_.path()) / "ggml-model.bin";
  writeRandomWhisperModel(path, config);

  Context context = load(path);
  ASSERT_NE(context, nullptr);
  whisper_context* c = context.get();
  EXPECT_EQ(whisper_model_n_vocab(c), config.vocabulary);
  EXPECT_EQ(whisper_model_n_audio_ctx(c), config.audioContext);
  EXPECT_EQ(whisper_model_n_audio_state(c), config.audioState);
  EXPECT_EQ(whisper_model_n_audio_head(c), config.audioHeads);
  EXPECT_EQ(whisper_model_n_audio_layer(c), config.audioLayers);
  EXPECT_EQ(whisper_model_n_text_ctx(c), config.textContext);
  EXPECT_EQ(whisper_model_n_text_state(c), config.textState);
  EXPECT_EQ(whisper_model_n_text_head(c), config.textHeads);
  EXPECT_EQ(whisper_model_n_text_layer(c), config.textLayers);
  EXPECT_EQ(whisper_model_n_mels(c), config.mels);
  EXPECT_EQ(whisper_model_ftype(c), GetParam().ftype);
  EXPECT_EQ(whisper_is_multilingual(c) != 0, GetParam().multilingual);
  // Whole words with their leading space are single tokens, as in a real
  // vocabulary; the special tokens come after the stored ones.
  whisper_token tokens[8];
  ASSERT_EQ(whisper_tokenize(c, " the man, and", tokens, 8), 4);
  EXPECT_STREQ(whisper_token_to_str(c, tokens[2]), ",");
  EXPECT_STREQ(whisper_token_to_str(c, whisper_token_eot(c)), GetParam().multilingual ? "[_EOT_]" : "<|endoftext|>");
}

INSTANTIATE_TEST_SUITE_P(
    Configs, RandomWhisperModelLoadTest,
    ::testing::Values(LoadCase{"TinyEnglishOnly", RandomWhisperModelConfig::tiny(), 1, false},
                      LoadCase{"TinyMultilingual", withVocabulary(RandomWhisperModelConfig::tiny(), 51865), 1, true},
                      LoadCase{"TinyLargeV3Vocabulary", withVocabulary(RandomWhisperModelConfig::tiny(), 51866), 1, true},
                      LoadCase{"TinyQ8_0", quantized(RandomWhisperModelConfig::tiny()), 7, false},
                      LoadCase{"UnevenDimensions", unevenDimensions(), 1, false}),
    CaseName());

class RandomWhisperModelDecodeTest : public RandomWhisperModelTest,
                                     public ::testing::WithParamInterface<WeightType> {};

TEST_P(RandomWhisperModelDecodeTest, DecodesSpeechWithWhisperCliDefaults) {
  RandomWhisperModelConfig config = RandomWhisperModelConfig::tiny();
  config.weights = GetParam();
  const std::filesystem::path path = std::filesystem::path(dir_.path()) / "ggml-tiny.en.bin";
  writeRandomWhisperModel(path, config);
  Context context = load(path);
  ASSERT_NE(context, nullptr);
  const std::vector<float> samples = readRawSpeech(kSpeech);
  ASSERT_GT(samples.size(), 16000u);

  // Beam search with temperature fallback, as whisper-cli decodes.
  whisper_full_params params = whisper_full_default_params(WHISPER_SAMPLING_BEAM_SEARCH);
  // One thread: ggml's threads wait for each other by spinning, which on a
  // busy test machine costs ten times the work of this tiny model.
  params.n_threads = 1;
  params.language = "en";
  params.token_timestamps = true;
  params.print_progress = false;
  params.print_realtime = false;
  params.print_timestamps = false;
  ASSERT_EQ(whisper_full(context.get(), params, samples.data(), static_cast<int>(samples.size())), 0);

  // Random weights make up their words, but they do write some (a model
  // that only ever ends the text would test nothing), every token is a real
  // one with a finite probability, the text is printable UTF-8 and the
  // times are in order.
  ASSERT_GT(whisper_full_n_segments(context.get()), 0);
  for (int s = 0; s < whisper_full_n_segments(context.get()); ++s) {
    EXPECT_TRUE(isValidUtf8(whisper_full_get_segment_text(context.get(), s)));
    EXPECT_LE(whisper_full_get_segment_t0(context.get(), s), whisper_full_get_segment_t1(context.get(), s));
    for (int t = 0; t < whisper_full_n_tokens(context.get(), s); ++t) {
      const whisper_token_data token = whisper_full_get_token_data(context.get(), s, t);
      EXPECT_TRUE(std::isfinite(token.p)) << "segment " << s << " token " << t;
      EXPECT_LT(token.id, whisper_model_n_vocab(context.get()));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(WeightTypes, RandomWhisperModelDecodeTest, ::testing::Values(WeightType::kF16, WeightType::kQ8_0),
                         [](const ::testing::TestParamInfo<WeightType>& weightType) {
                           return weightType.param == WeightType::kF16 ? std::string("F16") : std::string("Q8_0");
                         });

TEST_F(RandomWhisperModelTest, TheSameSeedWritesTheSameBytes) {
  RandomWhisperModelConfig config = RandomWhisperModelConfig::tiny();
  const std::filesystem::path first = std::filesystem::path(dir_.path()) / "first.bin";
  const std::filesystem::path again = std::filesystem::path(dir_.path()) / "again.bin";
  const std::filesystem::path other = std::filesystem::path(dir_.path()) / "other.bin";
  writeRandomWhisperModel(first, config);
  writeRandomWhisperModel(again, config);
  config.seed += 1;
  writeRandomWhisperModel(other, config);

  const std::string bytes = fileBytes(first);
  EXPECT_EQ(bytes, fileBytes(again));
  EXPECT_EQ(bytes.size(), fileBytes(other).size());
  EXPECT_NE(bytes, fileBytes(other));
}

struct InvalidCase {
  std::string name;
  void (*change)(RandomWhisperModelConfig&);
};

class RandomWhisperModelInvalidTest : public RandomWhisperModelTest,
                                      public ::testing::WithParamInterface<InvalidCase> {};

// whisper.cpp would reject these files or crash on them; the writer refuses
// them instead of producing a model a test would mistake for a damaged one.
TEST_P(RandomWhisperModelInvalidTest, RefusesDimensionsWhisperCannotLoad) {
  RandomWhisperModelConfig config = RandomWhisperModelConfig::tiny();
  GetParam().change(config);
  const std::filesystem::path path = std::filesystem::path(dir_.path()) / "model.bin";
  EXPECT_THROW(writeRandomWhisperModel(path, config), std::invalid_argument);
  EXPECT_FALSE(std::filesystem::exists(path));
}

INSTANTIATE_TEST_SUITE_P(
    Configs, RandomWhisperModelInvalidTest,
    ::testing::Values(
        InvalidCase{"NoRoomForTimestamps", [](RandomWhisperModelConfig& c) { c.vocabulary = 51000; }},
        InvalidCase{"StatesDiffer", [](RandomWhisperModelConfig& c) { c.textState = 2 * c.audioState; }},
        InvalidCase{"HeadsDoNotDivideTheState", [](RandomWhisperModelConfig& c) { c.textHeads = 3; }},
        InvalidCase{"NoLayers", [](RandomWhisperModelConfig& c) { c.audioLayers = 0; }},
        InvalidCase{"ScriptWithAMultilingualVocabulary",
                    [](RandomWhisperModelConfig& c) {
                      c.vocabulary = 51865;
                      c.script = {"<|0.00|>", " hi"};
                    }},
        InvalidCase{"MoreScriptTokensThanDimensions",
                    [](RandomWhisperModelConfig& c) {
                      for (int i = 0; i < c.textState; ++i) c.script.push_back(" w" + std::to_string(i));
                    }},
        InvalidCase{"Q8_0RowsNotWholeBlocks",
                    [](RandomWhisperModelConfig& c) {
                      c.weights = WeightType::kQ8_0;
                      c.audioState = c.textState = 48;
                    }}),
    CaseName());

}  // namespace
}  // namespace vorn::testing
