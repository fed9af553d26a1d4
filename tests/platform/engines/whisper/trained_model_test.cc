// The whisper engine on a model trained here (models/closed-vocabulary/):
// whisper's architecture at width 64, in whisper.cpp's English-only layout,
// knowing the digits and four words, listening to a voice it never heard in
// training. Its words are real, so this is where the tool's words and word
// times are checked against the truth, whisper.cpp's decoding included.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <re2/re2.h>

#include <fstream>
#include <string>
#include <vector>

#include "platform/device_speech_platform.h"
#include "platform/file_url.h"
#include "support/test_support.h"
#include "transcription/transcription_run.h"

namespace vorn {
namespace {

struct TimedWord {
  std::string text;
  double start = 0;
  double end = 0;
};

// "word<TAB>start<TAB>end" lines, as the fixture's generator writes them.
std::vector<TimedWord> readTruth(const std::string& path) {
  std::ifstream in(path);
  std::vector<TimedWord> words;
  TimedWord word;
  while (in >> word.text >> word.start >> word.end) words.push_back(word);
  return words;
}

std::vector<TimedWord> segmentsOf(const std::string& document) {
  // RE2, as the tool itself uses: GCC 12's <regex> warns at -O3.
  static const re2::RE2 segment(R"re(\{"end":([0-9.]+),"start":([0-9.]+),"text":"([^"]*)"\})re");
  std::vector<TimedWord> words;
  re2::StringPiece rest(document);
  TimedWord word;
  while (re2::RE2::FindAndConsume(&rest, segment, &word.end, &word.start, &word.text)) words.push_back(word);
  return words;
}

// What the model does reliably. It is not yet good enough to hear the
// words right (the README's trained-model figures): what holds is that
// whisper.cpp's real decoding of a trained model, through both windows and
// the packing, gives words from its vocabulary, in order, inside the file.
TEST(TrainedWhisperModelTest, GivesItsOwnWordsInOrderThroughBothWindows) {
#if defined(__SANITIZE_THREAD__)
  // Two windows of beam search take longer than the suite's time limit
  // under ThreadSanitizer; the analyzer's threads are covered by its own tests.
  GTEST_SKIP() << "too slow under ThreadSanitizer";
#endif
  // More speech than one 30-second window holds: the engine packs it into
  // two windows, utterances 0.2 s apart, and maps every word back.
  const std::vector<TimedWord> truth = readTruth(testing::fixture("whisper/heldout-speech.tsv"));
  ASSERT_GT(truth.size(), 60u);
  DeviceSpeechPlatform platform({testing::fixture("whisper/model")}, 1);

  const std::string document =
      runTranscription(FileURL::fromPath(testing::fixture("whisper/heldout-speech.flac")), "en-US", platform);

  const std::vector<TimedWord> heard = segmentsOf(document);
  ASSERT_FALSE(heard.empty()) << document;
  const std::vector<std::string> vocabulary = {"zero", "one", "two", "three", "four", "five", "six",
                                               "seven", "eight", "nine", "yes", "no", "stop", "hello"};
  for (std::size_t i = 0; i < heard.size(); ++i) {
    EXPECT_THAT(vocabulary, ::testing::Contains(heard[i].text));
    EXPECT_LE(heard[i].start, heard[i].end);
    if (i > 0) {
      EXPECT_LE(heard[i - 1].end, heard[i].start);
    }
  }
  EXPECT_LE(heard.back().end, truth.back().end + 2.0);

  // Both windows give words: the first one ends some 45 s into the file.
  EXPECT_LT(heard.front().start, 20.0);
  EXPECT_GT(heard.back().start, 55.0);
}

}  // namespace
}  // namespace vorn
