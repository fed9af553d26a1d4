#include "platform/engines/signal/word_edges.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace vorn {
namespace {

constexpr int kFrame = AudioFile::kFrameSamples;

// Frames [first, last] of a 440 Hz tone at `amplitude` over `frames` frames
// of silence or of a faint hiss.
void addTone(std::vector<float>& samples, int first, int last, float amplitude) {
  for (int i = first * kFrame; i < (last + 1) * kFrame; ++i) {
    samples[static_cast<std::size_t>(i)] += amplitude * std::sin(2 * 3.14159265f * 440 * static_cast<float>(i) / 16000.0f);
  }
}

std::vector<float> hiss(int frames, float amplitude) {
  std::vector<float> samples(static_cast<std::size_t>(frames * kFrame));
  unsigned state = 12345;
  for (float& s : samples) {
    state = state * 1103515245u + 12345u;
    s = amplitude * (static_cast<float>((state >> 8) & 0xFFFF) / 32768.0f - 1.0f);
  }
  return samples;
}

RecognizedWord word(const char* text, int first, int last) { return {text, first, last}; }

TEST(WordEdgesTest, EdgesInThePausesMoveInToTheSound) {
  // Two tones, frames 20..49 and 70..89; the alignment put the boundary
  // between them mid-pause and the first start early.
  std::vector<float> samples = hiss(120, 1e-4f);
  addTone(samples, 20, 49, 0.3f);
  addTone(samples, 70, 89, 0.3f);

  const std::vector<RecognizedWord> fitted =
      fitWordEdges({word("one", 5, 59), word("two", 60, 110)}, samples);

  EXPECT_THAT(fitted, ::testing::ElementsAre(word("one", 20, 49), word("two", 70, 89)));
}

TEST(WordEdgesTest, EdgesInsideTheSoundMoveOutAtMostATenthOfASecond) {
  std::vector<float> samples = hiss(200, 1e-4f);
  addTone(samples, 10, 39, 0.3f);    // the word heard late: starts at 30
  addTone(samples, 100, 179, 0.3f);  // a long sound: starts 40 frames early

  const std::vector<RecognizedWord> fitted =
      fitWordEdges({word("one", 30, 39), word("two", 140, 179)}, samples);

  EXPECT_THAT(fitted, ::testing::ElementsAre(word("one", 20, 39), word("two", 130, 179)));
}

TEST(WordEdgesTest, NeverRunsIntoTheNeighbours) {
  // One continuous sound holding three words: only the outer edges may move.
  std::vector<float> samples = hiss(100, 1e-4f);
  addTone(samples, 10, 89, 0.3f);

  const std::vector<RecognizedWord> fitted =
      fitWordEdges({word("a", 20, 39), word("b", 40, 59), word("c", 60, 79)}, samples);

  EXPECT_THAT(fitted, ::testing::ElementsAre(word("a", 10, 39), word("b", 40, 59), word("c", 60, 89)));
}

TEST(WordEdgesTest, KeepsTimesWhereNothingStandsAboveTheNoise) {
  const std::vector<float> noise = hiss(100, 0.1f);
  const std::vector<RecognizedWord> words = {word("one", 10, 30)};
  EXPECT_EQ(fitWordEdges(words, noise), words);
  EXPECT_EQ(fitWordEdges(words, std::vector<float>(100 * kFrame, 0.0f)), words);
}

TEST(WordEdgesTest, MeasuresTheFloorAboveDigitalSilence) {
  // Packed windows have exact zeros between utterances; the floor is the
  // hiss, so a word barely above it keeps its hissing edges out.
  std::vector<float> samples = hiss(100, 1e-3f);
  for (int i = 40 * kFrame; i < 60 * kFrame; ++i) samples[static_cast<std::size_t>(i)] = 0.0f;
  addTone(samples, 10, 29, 0.05f);

  const std::vector<RecognizedWord> fitted = fitWordEdges({word("one", 0, 39)}, samples);

  EXPECT_THAT(fitted, ::testing::ElementsAre(word("one", 10, 29)));
}

}  // namespace
}  // namespace vorn
