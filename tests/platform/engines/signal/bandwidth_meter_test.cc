#include "platform/engines/signal/bandwidth_meter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "platform/audio_file.h"
#include "support/test_support.h"

namespace vorn {
namespace {

std::vector<float> whiteNoise() {
  std::mt19937 random(3);
  std::normal_distribution<float> gaussian(0.0f, 0.1f);
  std::vector<float> samples(2 * AudioFile::kSampleRate);
  for (float& sample : samples) sample = gaussian(random);
  return samples;
}

// The same speech as a wideband file and as a telephone recording (GSM at
// 8 kHz) read back at the tool's 16 kHz: what any telephone audio resampled
// to a wideband rate looks like.
TEST(BandwidthMeterTest, TellsTelephoneSpeechFromWidebandSound) {
  const struct {
    std::string name;
    std::function<std::vector<float>()> samples;
    bool narrowband;
  } cases[] = {
      {"wideband speech", [] { return testing::readAllSamples(VORN_SOURCE_DIR "/samples/sense-and-sensibility.flac"); },
       false},
      {"telephone speech at 16 kHz", [] { return testing::readAllSamples(testing::fixture("audio/speech_8k.gsm")); },
       true},
      {"white noise", whiteNoise, false},
      {"digital silence", [] { return std::vector<float>(AudioFile::kSampleRate, 0.0f); }, false},
  };
  for (const auto& c : cases) {
    BandwidthMeter meter;
    meter.add(c.samples());
    EXPECT_EQ(meter.narrowband(), c.narrowband) << c.name << ": " << meter.highBandDb() << " dB";
  }
}

// The verdict is far from the threshold on both sides, so it does not hang
// on the exact figures of a codec or resampler.
TEST(BandwidthMeterTest, LeavesAWideMarginOnBothSides) {
  BandwidthMeter wideband;
  wideband.add(testing::readAllSamples(VORN_SOURCE_DIR "/samples/sense-and-sensibility.flac"));
  EXPECT_GT(wideband.highBandDb(), BandwidthMeter::kNarrowbandDb + 20);
  BandwidthMeter telephone;
  telephone.add(testing::readAllSamples(testing::fixture("audio/speech_8k.gsm")));
  EXPECT_LT(telephone.highBandDb(), BandwidthMeter::kNarrowbandDb - 15);
}

TEST(BandwidthMeterTest, CountsTheSecondsAddedAndStartsEmpty) {
  BandwidthMeter meter;
  EXPECT_EQ(meter.measuredSeconds(), 0.0);
  EXPECT_TRUE(std::isinf(meter.highBandDb()));
  EXPECT_FALSE(meter.narrowband());
  meter.add(std::vector<float>(AudioFile::kSampleRate / 2, 0.0f));
  meter.add(std::vector<float>(AudioFile::kSampleRate, 0.0f));
  EXPECT_DOUBLE_EQ(meter.measuredSeconds(), 1.5);
  meter.add(std::vector<float>(10, 0.0f));  // shorter than a frame: counted, not analysed
  EXPECT_FALSE(meter.narrowband());
}

}  // namespace
}  // namespace vorn
