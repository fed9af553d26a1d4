#include "platform/engines/pocketsphinx/pocketsphinx_recognizer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "platform/error.h"
#include "support/test_support.h"

namespace vorn {
namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;

constexpr const char* kClip =
    "/usr/share/pocketsphinx/test/data/librivox/sense_and_sensibility_01_austen_64kb-0880.wav";

// The samples of a canonical 16 kHz mono 16-bit PCM WAV file (44-byte
// header), as an AudioFile would deliver them.
std::vector<float> readClip(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), {});
  auto field = [&](std::size_t offset, std::size_t size) {
    std::uint32_t value = 0;
    std::memcpy(&value, bytes.data() + offset, size);  // little-endian host
    return value;
  };
  if (bytes.size() < 44 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WAVE") != 0 ||
      field(20, 2) != 1 || field(22, 2) != 1 || field(24, 4) != 16000 || field(34, 2) != 16 ||
      bytes.compare(36, 4, "data") != 0) {
    ADD_FAILURE() << path << " is not a canonical 16 kHz mono 16-bit PCM WAV file";
    return {};
  }
  std::vector<float> samples((bytes.size() - 44) / 2);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    std::int16_t value;
    std::memcpy(&value, bytes.data() + 44 + 2 * i, 2);
    samples[i] = static_cast<float>(value) / 32768.0f;
  }
  return samples;
}

std::vector<std::string> textOf(const std::vector<RecognizedWord>& words) {
  std::vector<std::string> text;
  for (const RecognizedWord& word : words) text.push_back(word.text);
  return text;
}

const RecognizedWord* find(const std::vector<RecognizedWord>& words, const std::string& text) {
  for (const RecognizedWord& word : words) {
    if (word.text == text) return &word;
  }
  return nullptr;
}

TEST(PocketsphinxRecognizerLoadTest, MissingModelIsAnErrorNamingWhatIsMissing) {
  try {
    PocketsphinxRecognizer recognizer("/nonexistent/model");
    FAIL() << "loaded a model that does not exist";
  } catch (const Error& error) {
    EXPECT_THAT(error.localizedDescription(), HasSubstr("/nonexistent/model/en-us"));
  }
}

TEST(PocketsphinxRecognizerLoadTest, DamagedModelIsAnError) {
  testing::TempDir model;
  std::filesystem::create_directory(model.path() + "/en-us");  // no acoustic model in it
  model.write("en-us.lm.bin", "not a language model");
  model.write("cmudict-en-us.dict", "word W ER D\n");
  EXPECT_THROW(PocketsphinxRecognizer{model.path()}, Error);
}

// Loads the installed model, and decodes the clip, once for all its tests.
class PocketsphinxRecognizerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    recognizer_ = new PocketsphinxRecognizer();
    clip_ = new std::vector<float>(readClip(kClip));
    clipWords_ = new std::vector<RecognizedWord>(recognizer_->recognize(*clip_));
  }
  static void TearDownTestSuite() {
    delete clipWords_;
    delete clip_;
    delete recognizer_;
  }

  static PocketsphinxRecognizer* recognizer_;
  static const std::vector<float>* clip_;
  static const std::vector<RecognizedWord>* clipWords_;
};

PocketsphinxRecognizer* PocketsphinxRecognizerTest::recognizer_ = nullptr;
const std::vector<float>* PocketsphinxRecognizerTest::clip_ = nullptr;
const std::vector<RecognizedWord>* PocketsphinxRecognizerTest::clipWords_ = nullptr;

// "he was not an ill disposed young man"; the engine hears "he was(2)",
// with a pronunciation marker, and silence and sentence markers around.
TEST_F(PocketsphinxRecognizerTest, GivesPlainWordsInOrderWithinTheAudio) {
  const std::vector<RecognizedWord>& words = *clipWords_;
  ASSERT_THAT(words, ::testing::Not(IsEmpty()));
  EXPECT_THAT(textOf(words), ::testing::IsSupersetOf({"he", "was", "not", "young", "man"}));
  EXPECT_EQ(words.front().text, "he");
  EXPECT_EQ(words.back().text, "man");
  const int frames = static_cast<int>(clip_->size()) / AudioFile::kFrameSamples;
  int previousLast = -1;
  for (const RecognizedWord& word : words) {
    EXPECT_THAT(word.text, ::testing::Not(::testing::ContainsRegex("[][<>()+]"))) << word.text;
    EXPECT_GT(word.firstFrame, previousLast) << word.text;
    EXPECT_GE(word.lastFrame, word.firstFrame) << word.text;
    EXPECT_LT(word.lastFrame, frames) << word.text;
    previousLast = word.lastFrame;
  }
}

// No frame is dropped: a second of silence ahead of the speech moves every
// word by 100 frames. (The engine's own silence removal would hide it.)
TEST_F(PocketsphinxRecognizerTest, FramesCountFromTheFirstSample) {
  std::vector<float> delayed(16000, 0.0f);
  delayed.insert(delayed.end(), clip_->begin(), clip_->end());
  const std::vector<RecognizedWord> shifted = recognizer_->recognize(delayed);

  for (const std::string text : {"he", "was", "not", "young", "man"}) {
    const RecognizedWord* before = find(*clipWords_, text);
    const RecognizedWord* after = find(shifted, text);
    ASSERT_TRUE(before && after) << text;
    EXPECT_NEAR(after->firstFrame, before->firstFrame + 100, 1) << text;
    EXPECT_NEAR(after->lastFrame, before->lastFrame + 100, 1) << text;
  }
}

// Decoding on several recognizers must give what one would: nothing may
// carry over from one utterance to the next.
TEST_F(PocketsphinxRecognizerTest, WordsDependOnlyOnTheSamples) {
  recognizer_->recognize(readClip(
      "/usr/share/pocketsphinx/test/data/librivox/sense_and_sensibility_01_austen_64kb-0930.wav"));
  EXPECT_EQ(recognizer_->recognize(*clip_), *clipWords_);
}

TEST_F(PocketsphinxRecognizerTest, AudioWithoutSpeechGivesNoWords) {
  std::mt19937 random(1);
  std::normal_distribution<float> quiet(0.0f, 0.001f);
  std::normal_distribution<float> loud(0.0f, 0.1f);
  std::vector<float> quietNoise(32000);
  for (float& sample : quietNoise) sample = quiet(random);
  std::vector<float> loudNoise(32000);
  for (float& sample : loudNoise) sample = loud(random);

  EXPECT_THAT(recognizer_->recognize({}), IsEmpty());
  EXPECT_THAT(recognizer_->recognize(std::vector<float>(100, 0.0f)), IsEmpty());
  EXPECT_THAT(textOf(recognizer_->recognize(quietNoise)), IsEmpty());
  EXPECT_THAT(textOf(recognizer_->recognize(loudNoise)), IsEmpty());
}

}  // namespace
}  // namespace vorn
