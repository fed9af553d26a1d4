#include "platform/engines/signal/bandwidth_meter.h"

#include <cmath>
#include <limits>

#include "platform/audio_file.h"

namespace vorn {
namespace {

constexpr double kLowBandFromHz = 300.0;
constexpr double kLowBandToHz = 3400.0;
constexpr double kHighBandFromHz = 5000.0;
constexpr double kHighBandToHz = 7000.0;
// The low band's mean power per frame below which there is nothing to
// measure: under the quantisation noise of 16-bit audio (about 1.2e-6 in
// these units), so only digital silence, or next to it, falls below.
constexpr double kSilentPower = 1e-9 * ShortTimeSpectrum::kWindow;

double sumBins(std::span<const float> power, double fromHz, double toHz) {
  double sum = 0.0;
  for (int k = ShortTimeSpectrum::binOf(fromHz); k < ShortTimeSpectrum::binOf(toHz); ++k) {
    sum += power[k];
  }
  return sum;
}

}  // namespace

void BandwidthMeter::add(std::span<const float> speech) {
  samples_ += static_cast<double>(speech.size());
  spectrum_.forEachFrame(speech, [&](std::span<const float> power) {
    lowBandPower_ += sumBins(power, kLowBandFromHz, kLowBandToHz);
    highBandPower_ += sumBins(power, kHighBandFromHz, kHighBandToHz);
  });
}

double BandwidthMeter::measuredSeconds() const { return samples_ / AudioFile::kSampleRate; }

double BandwidthMeter::highBandDb() const {
  if (lowBandPower_ <= 0.0 || highBandPower_ <= 0.0) {
    return -std::numeric_limits<double>::infinity();
  }
  return 10.0 * std::log10(highBandPower_ / lowBandPower_);
}

bool BandwidthMeter::narrowband() const {
  const double frames = samples_ / ShortTimeSpectrum::kHop;
  if (frames < 1.0 || lowBandPower_ / frames < kSilentPower) return false;
  return highBandDb() < kNarrowbandDb;
}

}  // namespace vorn
