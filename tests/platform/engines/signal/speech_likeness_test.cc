#include "platform/engines/signal/speech_likeness.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "platform/audio_file.h"
#include "support/test_support.h"

namespace vorn {
namespace {

constexpr int kRate = AudioFile::kSampleRate;

// Sums of sines, `seconds` long; each tone is {frequency, amplitude}.
std::vector<float> tones(double seconds, std::vector<std::pair<double, double>> parts,
                         double decayPerSecond = 0.0) {
  std::vector<float> samples(static_cast<std::size_t>(seconds * kRate));
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const double t = static_cast<double>(i) / kRate;
    double value = 0.0;
    for (const auto& [frequency, amplitude] : parts) {
      value += amplitude * std::sin(2 * std::numbers::pi * frequency * t);
    }
    samples[i] = static_cast<float>(value * std::exp(-decayPerSecond * t));
  }
  return samples;
}

void append(std::vector<float>& to, const std::vector<float>& more) {
  to.insert(to.end(), more.begin(), more.end());
}

std::vector<float> sine() { return tones(3.0, {{440.0, 0.5}}); }

std::vector<float> whiteNoise() {
  std::mt19937 random(7);
  std::normal_distribution<float> gaussian(0.0f, 0.2f);
  std::vector<float> samples(3 * kRate);
  for (float& sample : samples) sample = gaussian(random);
  return samples;
}

// Four plucked triads (C, F, G, A minor) with their harmonics, half a
// second each, played twice: the sound a piano loop makes.
std::vector<float> chordLoop() {
  const std::vector<std::vector<double>> chords{
      {261.6, 329.6, 392.0}, {349.2, 440.0, 523.3}, {196.0, 246.9, 293.7}, {220.0, 261.6, 329.6}};
  std::vector<float> samples;
  for (int round = 0; round < 2; ++round) {
    for (const std::vector<double>& chord : chords) {
      std::vector<std::pair<double, double>> parts;
      for (const double root : chord) {
        for (int harmonic = 1; harmonic <= 4; ++harmonic) parts.push_back({root * harmonic, 0.1 / harmonic});
      }
      append(samples, tones(0.5, parts, 4.0));
    }
  }
  return samples;
}

TEST(SpeechLikenessTest, SpeechPasses) {
  const std::vector<float> speech = testing::readAllSamples(VORN_SOURCE_DIR "/samples/sense-and-sensibility.flac");
  EXPECT_TRUE(soundsLikeSpeech(speech)) << spectralChangeRate(speech);
}

TEST(SpeechLikenessTest, SpeechInNoisePasses) {
  // The sample's RMS level is 0.06: this noise is 16 dB below it.
  std::vector<float> speech = testing::readAllSamples(VORN_SOURCE_DIR "/samples/sense-and-sensibility.flac");
  std::mt19937 random(3);
  std::normal_distribution<float> gaussian(0.0f, 0.01f);
  for (float& sample : speech) sample += gaussian(random);
  EXPECT_TRUE(soundsLikeSpeech(speech)) << spectralChangeRate(speech);
}

struct SoundCase {
  const char* name;
  std::vector<float> (*make)();
};

class NonSpeechTest : public ::testing::TestWithParam<SoundCase> {};

TEST_P(NonSpeechTest, IsNotSpeech) {
  const std::vector<float> sound = GetParam().make();
  EXPECT_FALSE(soundsLikeSpeech(sound)) << spectralChangeRate(sound);
}

INSTANTIATE_TEST_SUITE_P(Sounds, NonSpeechTest,
                         ::testing::Values(SoundCase{"Sine", sine}, SoundCase{"WhiteNoise", whiteNoise},
                                           SoundCase{"ChordLoop", chordLoop}),
                         [](const auto& sound) { return std::string(sound.param.name); });

TEST(SpeechLikenessTest, TooLittleSoundIsNotSpeech) {
  EXPECT_EQ(spectralChangeRate({}), 0.0);
  EXPECT_FALSE(soundsLikeSpeech(std::vector<float>(100, 0.5f)));
}

}  // namespace
}  // namespace vorn
