#include "platform/engines/signal/utterance_splitter.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace vorn {
namespace {

using Options = UtteranceSplitter::Options;
constexpr int kFrame = AudioFile::kFrameSamples;

// A test signal built piece by piece, in 10 ms frames so that every sound
// starts and ends on a frame boundary.
class Signal {
 public:
  // `noise`: the amplitude of the background heard in quiet stretches
  // (uniform white noise; 0 gives digital silence).
  explicit Signal(float noise = 0.0f) : noise_(noise) {}

  Signal& quiet(int frames) {
    for (int i = 0; i < frames * kFrame; ++i) samples.push_back(noise_ * nextUniform());
    return *this;
  }
  // A 500 Hz tone: a whole number of periods per frame, so its frames have
  // no offset and it ends cleanly.
  Signal& tone(int frames, float amplitude = 0.3f) {
    for (int i = 0; i < frames * kFrame; ++i) {
      samples.push_back(amplitude * static_cast<float>(std::sin(2 * std::numbers::pi * 500 * i / 16000)));
    }
    return *this;
  }
  // Speech-like: loud "syllables" between soft ones, 20 dB apart, with no
  // pause anywhere.
  Signal& babble(int frames) {
    for (int done = 0; done < frames; done += 20) {
      tone(std::min(12, frames - done));
      if (frames - done > 12) tone(std::min(8, frames - done - 12), 0.03f);
    }
    return *this;
  }

  std::vector<float> samples;

 private:
  float nextUniform() {  // deterministic, in [-1, 1)
    state_ = state_ * 6364136223846793005u + 1442695040888963407u;
    return static_cast<float>(state_ >> 40) / static_cast<float>(1u << 23) - 1.0f;
  }

  float noise_;
  std::uint64_t state_ = 1;
};

// Runs the splitter over `samples` pushed `chunk` at a time, taking the
// utterances after each push and checking the audio it holds stays bounded.
std::vector<Utterance> split(const std::vector<float>& samples, std::size_t chunk,
                             const Options& options = {}) {
  UtteranceSplitter splitter(options);
  const std::size_t bound =
      static_cast<std::size_t>(options.maxUtteranceFrames + options.paddingFrames +
                               options.floorFramesAfter + 1) * kFrame + chunk;
  std::vector<Utterance> utterances;
  for (std::size_t at = 0; at < samples.size(); at += chunk) {
    splitter.push(std::span(samples).subspan(at, std::min(chunk, samples.size() - at)));
    while (auto utterance = splitter.take()) utterances.push_back(std::move(*utterance));
    EXPECT_LE(splitter.heldSamples(), bound) << "after " << at + chunk << " samples";
  }
  splitter.flush();
  while (auto utterance = splitter.take()) utterances.push_back(std::move(*utterance));
  return utterances;
}

// Utterances as [first frame, end frame), the end rounded up at the
// stream's end; checks each holds the stream's samples unchanged.
std::vector<std::pair<std::int64_t, std::int64_t>> framesOf(const std::vector<Utterance>& utterances,
                                                            const std::vector<float>& stream) {
  std::vector<std::pair<std::int64_t, std::int64_t>> frames;
  for (const Utterance& utterance : utterances) {
    const auto begin = stream.begin() + utterance.startSample;
    EXPECT_TRUE(utterance.startSample + static_cast<std::int64_t>(utterance.samples.size()) <=
                    static_cast<std::int64_t>(stream.size()) &&
                std::equal(utterance.samples.begin(), utterance.samples.end(), begin))
        << "utterance at " << utterance.startSample << " does not hold the stream's samples";
    const std::int64_t end = utterance.startSample + static_cast<std::int64_t>(utterance.samples.size());
    frames.emplace_back(utterance.startSample / kFrame, (end + kFrame - 1) / kFrame);
  }
  return frames;
}

struct BoundaryCase {
  std::string name;
  Signal (*build)(float noise);
  std::vector<std::pair<std::int64_t, std::int64_t>> expected;  // frames
};

void PrintTo(const BoundaryCase& testCase, std::ostream* out) { *out << testCase.name; }

class UtteranceSplitterBoundaryTest
    : public ::testing::TestWithParam<std::tuple<BoundaryCase, float>> {};

// Defaults: a pause is 50 frames, 25 frames of padding either side.
TEST_P(UtteranceSplitterBoundaryTest, CutsAtPausesKeepingPaddingAroundSpeech) {
  const auto& [testCase, noise] = GetParam();
  const std::vector<float> stream = testCase.build(noise).samples;
  EXPECT_EQ(framesOf(split(stream, 4096), stream), testCase.expected);
}

std::string boundaryCaseName(
    const ::testing::TestParamInfo<std::tuple<BoundaryCase, float>>& instance) {
  const auto& [testCase, noise] = instance.param;
  return testCase.name + (noise > 0 ? "InNoise" : "InSilence");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UtteranceSplitterBoundaryTest,
    ::testing::Combine(
        ::testing::Values(
            BoundaryCase{"TwoUtterancesShortPauseInside",
                         [](float noise) {
                           return Signal(noise).quiet(100).tone(100).quiet(100).tone(50).quiet(20)
                               .tone(50).quiet(150);
                         },
                         {{75, 225}, {275, 445}}},
            BoundaryCase{"SpeechAtBothEndsOfTheStream",
                         [](float noise) { return Signal(noise).tone(100).quiet(100).tone(100); },
                         {{0, 125}, {175, 300}}},
            BoundaryCase{"PauseJustShortOfTheLimit",
                         [](float noise) { return Signal(noise).tone(100).quiet(49).tone(100); },
                         {{0, 249}}},
            // Padding never reaches back into the previous utterance.
            BoundaryCase{"PauseJustLongEnough",
                         [](float noise) { return Signal(noise).tone(100).quiet(50).tone(100); },
                         {{0, 125}, {125, 250}}}),
        // Digital silence, and a noise floor 40 dB below full scale.
        ::testing::Values(0.0f, 0.0173f)),
    boundaryCaseName);

TEST(UtteranceSplitterTest, PaddingNeverReachesIntoThePreviousUtterance) {
  Options options;
  options.paddingFrames = 40;  // more than half a pause
  const std::vector<float> stream = Signal().tone(100).quiet(50).tone(100).samples;
  EXPECT_EQ(framesOf(split(stream, 4096, options), stream),
            (std::vector<std::pair<std::int64_t, std::int64_t>>{{0, 140}, {140, 250}}));
}

// A recording with a constant offset: quiet speech rides on it.
TEST(UtteranceSplitterTest, AnOffsetDoesNotHideQuietSpeech) {
  std::vector<float> stream = Signal().quiet(100).tone(100, 0.03f).quiet(100).samples;
  for (float& sample : stream) sample += 0.25f;
  EXPECT_EQ(framesOf(split(stream, 4096), stream),
            (std::vector<std::pair<std::int64_t, std::int64_t>>{{75, 225}}));
}

TEST(UtteranceSplitterTest, AudioWithoutSpeechGivesNothing) {
  Options options;
  options.maxUtteranceFrames = 400;  // so that 1000 frames exceed what it may hold
  const struct {
    std::string name;
    std::vector<float> samples;
  } cases[] = {
      {"empty", {}},
      {"digital silence", Signal().quiet(1000).samples},
      {"quiet noise", Signal(0.0173f).quiet(1000).samples},
      {"loud steady noise", Signal(0.3f).quiet(1000).samples},
      {"steady hum", Signal().tone(1000).samples},
      {"a click", Signal(0.0173f).quiet(100).tone(5).quiet(100).samples},
  };
  for (const auto& [name, samples] : cases) {
    EXPECT_THAT(split(samples, 4096, options), ::testing::IsEmpty()) << name;
  }
}

// Speech without a pause, from frame 100 to 1365, with one silent dip at
// frames 350-365, shorter than a pause. With utterances of at most 400
// frames, the first (from frame 75) must be cut within the dip, the quietest
// point of its second half.
Signal runOnSpeech() { return Signal().quiet(100).babble(250).quiet(15).babble(1000).quiet(100); }

TEST(UtteranceSplitterTest, SpeechThatRunsOnIsCutAtTheQuietestPoint) {
  Options options;
  options.maxUtteranceFrames = 400;
  const std::vector<float> stream = runOnSpeech().samples;
  const auto frames = framesOf(split(stream, 4096, options), stream);

  ASSERT_GE(frames.size(), 4u);
  EXPECT_EQ(frames.front().first, 75);
  EXPECT_GE(frames.front().second, 350);
  EXPECT_LT(frames.front().second, 365);
  for (std::size_t i = 0; i < frames.size(); ++i) {
    EXPECT_LE(frames[i].second - frames[i].first, 400) << "utterance " << i;
    if (i > 0) {
      EXPECT_EQ(frames[i].first, frames[i - 1].second) << "gap before utterance " << i;
    }
  }
  EXPECT_EQ(frames.back().second, 1365 + 25);
}

TEST(UtteranceSplitterTest, ChunkSizeDoesNotChangeTheUtterances) {
  Options options;
  options.maxUtteranceFrames = 400;
  Signal signal(0.0173f);
  signal.samples = runOnSpeech().samples;
  signal.quiet(100).tone(100).quiet(49).tone(100).quiet(60).tone(3).quiet(10);
  signal.samples.push_back(0.5f);  // a stream that ends inside a frame
  const std::vector<float>& stream = signal.samples;

  const std::vector<Utterance> whole = split(stream, stream.size(), options);
  ASSERT_GE(whole.size(), 5u);
  for (const std::size_t chunk : {1, 7, 159, 160, 161, 4096}) {
    const std::vector<Utterance> pieces = split(stream, chunk, options);
    ASSERT_EQ(pieces.size(), whole.size()) << "chunk " << chunk;
    for (std::size_t i = 0; i < whole.size(); ++i) {
      EXPECT_EQ(pieces[i].startSample, whole[i].startSample) << "chunk " << chunk << ", utterance " << i;
      EXPECT_EQ(pieces[i].samples, whole[i].samples) << "chunk " << chunk << ", utterance " << i;
    }
  }
}

}  // namespace
}  // namespace vorn
