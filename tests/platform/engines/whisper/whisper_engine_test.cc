// The whisper engine on models with random weights, generated in whisper.cpp's
// own file format: the real loading and decoding code runs, only the words
// are made up.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <whisper.h>

#include "support/random_whisper_model.h"
#include "platform/engines/whisper/alignment_heads.h"
#include "platform/engines/whisper/whisper_model_file.h"
#include "platform/engines/whisper/whisper_recognizer.h"
#include "platform/error.h"
#include "support/test_support.h"

namespace vorn {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using testing::ProcessOptions;
using testing::ProcessResult;
using testing::RandomWhisperModelConfig;
using testing::runVornSpeech;
using testing::TempDir;

const std::string kSample = std::string(VORN_SOURCE_DIR) + "/samples/sense-and-sensibility.flac";

RandomWhisperModelConfig tinyMultilingual() {
  RandomWhisperModelConfig config = RandomWhisperModelConfig::tiny();
  config.vocabulary = 51865;
  return config;
}

// One generated model per configuration for the whole suite: writing one
// takes longer than most tests.
const std::string& modelFile(bool multilingual) {
  static TempDir* directory = new TempDir;  // lives until the process ends
  static const std::string english = [] {
    const std::string path = directory->path() + "/ggml-tiny.en.bin";
    testing::writeRandomWhisperModel(path, RandomWhisperModelConfig::tiny());
    return path;
  }();
  static const std::string multi = [] {
    const std::string path = directory->path() + "/ggml-tiny.bin";
    testing::writeRandomWhisperModel(path, tinyMultilingual());
    return path;
  }();
  return multilingual ? multi : english;
}

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(WhisperModelFileTest, ReadsTheDimensionsOfAGeneratedModel) {
  const WhisperModelInfo info = inspectWhisperModel(modelFile(false));
  const RandomWhisperModelConfig config = RandomWhisperModelConfig::tiny();
  EXPECT_EQ(info.vocabularySize, 51864);
  EXPECT_FALSE(info.multilingual());
  EXPECT_EQ(info.state, config.audioState);
  EXPECT_EQ(info.audioLayers, config.audioLayers);
  EXPECT_EQ(info.textLayers, config.textLayers);
  EXPECT_EQ(info.mels, 80);
  EXPECT_DOUBLE_EQ(info.bitsPerWeight(), 16.0);
  EXPECT_TRUE(inspectWhisperModel(modelFile(true)).multilingual());
}

// Each case damages a copy of a good model and names what the error says.
struct DamageCase {
  std::string name;
  std::function<void(std::string&)> damage;
  std::string problem;
};

void putInt(std::string& bytes, std::size_t offset, std::int32_t value) {
  std::memcpy(bytes.data() + offset, &value, sizeof value);
}

class DamagedWhisperModelTest : public ::testing::TestWithParam<DamageCase> {};

TEST_P(DamagedWhisperModelTest, IsRefusedNamingTheFile) {
  std::string bytes = slurp(modelFile(false));
  GetParam().damage(bytes);
  TempDir dir;
  const std::string path = dir.write("ggml-damaged.bin", bytes);
  try {
    inspectWhisperModel(path);
    FAIL() << "accepted";
  } catch (const Error& error) {
    EXPECT_THAT(error.localizedDescription(), HasSubstr(path));
    EXPECT_THAT(error.localizedDescription(), HasSubstr(GetParam().problem));
  }
}

// Header fields are int32s after the 4-byte magic: vocabulary at 4, audio
// context 8, width 12, audio heads 16, audio layers 20, text context 24,
// text width 28, text heads 32, text layers 36, mels 40, file type 44.
INSTANTIATE_TEST_SUITE_P(
    Table, DamagedWhisperModelTest,
    ::testing::Values(
        DamageCase{"Empty", [](std::string& b) { b.clear(); }, "is empty"},
        DamageCase{"WrongMagic", [](std::string& b) { b[0] = 'x'; }, "not a whisper model"},
        DamageCase{"ShorterThanItsMagic", [](std::string& b) { b.resize(3); }, "not a whisper model"},
        DamageCase{"CutInTheHeader", [](std::string& b) { b.resize(30); }, "ends inside the header"},
        DamageCase{"CutInTheVocabulary", [](std::string& b) { b.resize(70000); },
                   "ends inside the vocabulary"},
        DamageCase{"CutInTheWeights", [](std::string& b) { b.resize(b.size() - 1); },
                   "ends inside the weights"},
        DamageCase{"BytesAfterTheLastTensor", [](std::string& b) { b += "extra"; }, "ends inside"},
        DamageCase{"AbsurdWidth", [](std::string& b) { putInt(b, 12, 1 << 30); putInt(b, 28, 1 << 30); },
                   "width"},
        DamageCase{"AbsurdLayerCount", [](std::string& b) { putInt(b, 20, 100000); }, "layer"},
        DamageCase{"NegativeContext", [](std::string& b) { putInt(b, 8, -1); }, "context"},
        DamageCase{"UnknownWeightType", [](std::string& b) { putInt(b, 44, 99); }, "weight type"},
        DamageCase{"RetiredWeightType", [](std::string& b) { putInt(b, 44, 4); }, "weight type"},
        DamageCase{"NegativeWeightType", [](std::string& b) { putInt(b, 44, -1); }, "weight type"},
        // The same model said to be q8_0: every matrix is then the wrong size.
        DamageCase{"WeightTypeOfAnotherSize", [](std::string& b) { putInt(b, 44, 7); },
                   "wrong type or shape"},
        DamageCase{"WidthsDiffer", [](std::string& b) { putInt(b, 28, 128); }, "widths differ"},
        DamageCase{"OneLayerMoreThanStored", [](std::string& b) { putInt(b, 36, 3); },
                   "tensors missing"}),
    testing::CaseName());

TEST(DamagedWhisperModelTest, ADirectoryIsRefused) {
  TempDir dir;
  fs::create_directory(dir.path() + "/ggml-base.bin");
  EXPECT_THROW(inspectWhisperModel(dir.path() + "/ggml-base.bin"), Error);
}

// What whisper.cpp's own API reports for the audio, decoded with the
// recognizer's settings: flash attention on and, with `alignment`, the
// alignment heads' DTW. Each segment starts with a special token. Without
// the alignment a token's times are whisper.cpp's own estimate; with it, a
// text token's end is the alignment's time (t_dtw).
std::vector<WhisperToken> tokensStraightFromTheApi(const std::string& model,
                                                   const std::vector<float>& samples, bool alignment,
                                                   bool flashAttention = true) {
  whisper_context_params contextParams = whisper_context_default_params();
  contextParams.use_gpu = false;
  contextParams.flash_attn = flashAttention;
  if (alignment) {
    contextParams.dtw_token_timestamps = true;
    const AlignmentHeads heads = alignmentHeadsFor(inspectWhisperModel(model));
    contextParams.dtw_aheads_preset = heads.preset;
    contextParams.dtw_n_top = heads.topLayers;
  }
  whisper_context* context = whisper_init_from_file_with_params(model.c_str(), contextParams);
  EXPECT_NE(context, nullptr);
  if (!context) return {};
  whisper_full_params params = whisper_full_default_params(WHISPER_SAMPLING_BEAM_SEARCH);
  params.n_threads = 2;
  params.greedy.best_of = 5;  // whisper-cli's setting, for the temperature fallback
  params.language = "en";
  params.token_timestamps = !alignment;
  params.print_progress = false;
  params.print_timestamps = false;
  EXPECT_EQ(whisper_full(context, params, samples.data(), static_cast<int>(samples.size())), 0);
  std::vector<WhisperToken> tokens;
  for (int s = 0; s < whisper_full_n_segments(context); ++s) {
    tokens.push_back({"", 0, 0, true});
    for (int t = 0; t < whisper_full_n_tokens(context, s); ++t) {
      const whisper_token_data data = whisper_full_get_token_data(context, s, t);
      const bool special = data.id >= whisper_token_eot(context);
      tokens.push_back({special ? "" : whisper_token_to_str(context, data.id), data.t0,
                        alignment && !special ? data.t_dtw : data.t1, special});
    }
  }
  whisper_free(context);
  return tokens;
}

// The same made into words the way the recognizer makes them: it must
// lose, reorder and shift nothing.
std::vector<RecognizedWord> wordsStraightFromTheApi(const std::string& model,
                                                    const std::vector<float>& samples,
                                                    bool alignment = false) {
  return joinWhisperTokens(tokensStraightFromTheApi(model, samples, alignment),
                           static_cast<int>((samples.size() - 1) / AudioFile::kFrameSamples));
}

TEST(WhisperRecognizerTest, GivesTheWordsAndTimesWhisperReports) {
  std::vector<float> samples = testing::readAllSamples(kSample);
  samples.resize(5 * 16000);  // enough for a window; quicker under sanitizers
  WhisperRecognizer recognizer(inspectWhisperModel(modelFile(false)), "en", 2,
                               {.wordTimes = WhisperDecoding::WordTimes::kTokenTimestamps});

  const std::vector<RecognizedWord> words = recognizer.recognize(samples);

  EXPECT_EQ(words, wordsStraightFromTheApi(modelFile(false), samples));
}

// Our whisper.cpp keeps flash attention everywhere but in the decoder's
// cross-attention when it aligns. That changes what the alignment costs,
// never where it puts a token: for the same text, the same times as with
// flash attention off.
TEST(WhisperRecognizerTest, FlashAttentionLeavesTheAlignmentAsItWas) {
  TempDir directory;
  RandomWhisperModelConfig config = RandomWhisperModelConfig::tiny();
  config.script = {"<|0.00|>", " The", " cat", ",", " sat", "<|2.00|>", "<|2.00|>", " on", " the",
                   " mat", ".", "<|4.00|>"};
  const std::string scripted = directory.path() + "/ggml-scripted.en.bin";
  testing::writeRandomWhisperModel(scripted, config);
  std::vector<float> samples = testing::readAllSamples(kSample);
  samples.resize(5 * 16000);

  const std::vector<WhisperToken> withFlash = tokensStraightFromTheApi(scripted, samples, true);

  EXPECT_EQ(withFlash.size(), 13u);  // two segments: 2 special + 7 text + 4 timestamps
  EXPECT_EQ(withFlash, tokensStraightFromTheApi(scripted, samples, true, false));
}

// The tool's timing: the same words, each timed within the audio, in order,
// none overlapping the next.
TEST(WhisperRecognizerTest, TimesWordsByTheAlignmentWithinTheAudio) {
  std::vector<float> samples = testing::readAllSamples(kSample);
  samples.resize(5 * 16000);
  WhisperRecognizer recognizer(inspectWhisperModel(modelFile(false)), "en", 2);

  const std::vector<RecognizedWord> words = recognizer.recognize(samples);

  const std::vector<RecognizedWord> reported = wordsStraightFromTheApi(modelFile(false), samples, true);
  ASSERT_FALSE(words.empty());
  ASSERT_EQ(words.size(), reported.size());
  const int lastFrame = static_cast<int>((samples.size() - 1) / AudioFile::kFrameSamples);
  for (std::size_t i = 0; i < words.size(); ++i) {
    EXPECT_EQ(words[i].text, reported[i].text);
    EXPECT_LE(0, words[i].firstFrame);
    EXPECT_LE(words[i].firstFrame, words[i].lastFrame);
    EXPECT_LE(words[i].lastFrame, lastFrame);
    if (i > 0) {
      EXPECT_LT(words[i - 1].lastFrame, words[i].firstFrame);
    }
  }
}

// What real models write besides speech, and byte-level pieces of
// characters, run through whisper.cpp's own decoder: a scripted model writes
// them whatever the audio, and the document gets only the words.
TEST(WhisperRecognizerTest, WritesOnlyTheWordsOfWhatTheModelWrites) {
  TempDir directory;
  RandomWhisperModelConfig config = RandomWhisperModelConfig::tiny();
  config.script = {"<|0.00|>", " [", "BL", "ANK", "_", "AUDIO", "]", "<|1.00|>",
                   "<|1.00|>", " (", "la", "ughs", ")", " Well", ",", " ", "say", " \xE2\x80\x9C",
                   " yes", "\xE2\x80\x9D", ".", " \xE2\x99\xAA", " la", " \xE2\x99\xAA", "<|3.00|>",
                   "<|3.00|>", " \xE4\xBD", "\xA0", "\xE5\xA5\xBD", "\xE3\x80\x82", "<|4.00|>",
                   "<|4.00|>", " -", " Okay", " (", "la", "ughs", ").", " -", " \xE2\x99\xAA", " Hi",
                   "\xE0\xB8\x94", "\xE0\xB8\xB5", "<|5.00|>"};
  const std::string path = directory.path() + "/ggml-scripted.en.bin";
  testing::writeRandomWhisperModel(path, config);
  std::vector<float> samples = testing::readAllSamples(kSample);
  samples.resize(5 * 16000);
  WhisperRecognizer recognizer(inspectWhisperModel(path), "en", 2);

  const std::vector<RecognizedWord> words = recognizer.recognize(samples);

  std::vector<std::string> texts;
  for (const RecognizedWord& word : words) texts.push_back(word.text);
  EXPECT_THAT(texts, ::testing::ElementsAre("Well,", "say", "\xE2\x80\x9Cyes\xE2\x80\x9D.", "\xE4\xBD\xA0",
                                            "\xE5\xA5\xBD\xE3\x80\x82", "Okay.", "Hi",
                                            "\xE0\xB8\x94\xE0\xB8\xB5"));
  for (std::size_t i = 1; i < words.size(); ++i) EXPECT_LE(words[i - 1].firstFrame, words[i].firstFrame);
}

// The tool installed as an application bundles it: a copy of the binary
// with models in the folders it searches.
class WhisperBesideTheToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(bin_);
    fs::copy_file(VORN_SPEECH_BINARY, tool_);
  }

  ProcessResult run(const std::string& locale, const std::string& input = kSample) {
    ProcessOptions options;
    options.binary = tool_;
    return runVornSpeech({"--input", input, "--locale", locale}, options);
  }

  TempDir root_;
  const std::string bin_ = root_.path() + "/bin";
  const std::string tool_ = bin_ + "/vorn-speech";
};

TEST_F(WhisperBesideTheToolTest, AMultilingualModelServesItsLanguages) {
  fs::create_directories(bin_ + "/models");
  fs::copy_file(modelFile(true), bin_ + "/models/ggml-tiny.bin");

  for (const std::string locale : {"fr-CA", "zh-Hans-TW", "en-US"}) {
    const ProcessResult result = run(locale);
    ASSERT_EQ(result.status, 0) << locale << ": " << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out.rfind("{\"locale\":\"" + locale + "\",\"segments\":[", 0), 0u) << result.out;
  }
  // Not a language whisper knows: refused as before.
  const ProcessResult unknown = run("xx-YY");
  EXPECT_EQ(unknown.status, 1);
  EXPECT_THAT(unknown.err, HasSubstr("\"xx-YY\""));
}

TEST_F(WhisperBesideTheToolTest, AnEnglishOnlyModelInTheSharedFolderServesEnglishOnly) {
  const std::string shared = root_.path() + "/share/vorn-speech/models";
  fs::create_directories(shared);
  fs::copy_file(modelFile(false), shared + "/ggml-tiny.en.bin");

  const ProcessResult english = run("en-GB");
  ASSERT_EQ(english.status, 0) << english.err;
  // pocketsphinx would have heard "john" in the sample; random weights never do.
  EXPECT_EQ(english.out.find("\"john\""), std::string::npos) << english.out;

  const ProcessResult french = run("fr-FR");
  EXPECT_EQ(french.status, 1);
  EXPECT_EQ(french.out, "");
  EXPECT_EQ(french.err, "Error: no speech engine on this device supports the locale \"fr-FR\"\n");
}

TEST_F(WhisperBesideTheToolTest, ProgressIsToldBeforeTheDocument) {
  fs::create_directories(bin_ + "/models");
  fs::copy_file(modelFile(false), bin_ + "/models/ggml-tiny.en.bin");
  ProcessOptions options;
  options.binary = tool_;
  options.errorIntoOutput = true;

  const ProcessResult result = runVornSpeech({"--input", kSample, "--progress"}, options);

  ASSERT_EQ(result.status, 0) << result.out;
  testing::expectProgressThenDocument(result.out);
}

TEST_F(WhisperBesideTheToolTest, ADamagedModelIsOneErrorLineNamingIt) {
  fs::create_directories(bin_ + "/models");
  std::string bytes = slurp(modelFile(false));
  bytes.resize(bytes.size() / 2);
  const std::string path = bin_ + "/models/ggml-base.en.bin";
  std::ofstream(path, std::ios::binary) << bytes;

  const ProcessResult result = run("en-US");

  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err.rfind("Error: the whisper model " + path + " cannot be used: ", 0), 0u)
      << result.err;
  EXPECT_EQ(result.err.find('\n'), result.err.size() - 1);
}

}  // namespace
}  // namespace vorn
