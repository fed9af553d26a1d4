#ifndef VORN_PLATFORM_ENGINES_SIGNAL_BANDWIDTH_METER_H_
#define VORN_PLATFORM_ENGINES_SIGNAL_BANDWIDTH_METER_H_

// Tells telephone audio that no longer looks like it: a call or voicemail
// recorded at 8 kHz and then resampled (by a phone system, an editor, a
// converter) to 16, 44.1 or 48 kHz is stored at a wideband rate but still
// holds nothing above 4 kHz, and is decoded best as the telephone audio it
// is. The stored sample rate cannot tell; the spectrum can.
//
// The measure is the long-term spectrum of the speech: the power from 5 to
// 7 kHz (where wideband speech has its fricatives and where the acoustic
// model still listens) against the power from 0.3 to 3.4 kHz (the telephone
// band, full in both). The high band starts well above 4 kHz because a
// resampler's images of the telephone band's top land just above 4 kHz.
// Measured on the benchmarks' speech: wideband recordings -18 to -33 dB
// (a 1961 broadcast, band-limited near 5 kHz, -53 dB); the same speech sent
// through 8 kHz PCM, G.711, GSM or AMR-NB and resampled to 16 or 44.1 kHz,
// -78 to -93 dB.

#include <span>

#include "platform/engines/signal/short_time_spectrum.h"

namespace vorn {

class BandwidthMeter {
 public:
  // How much speech the verdict rests on: a few seconds hold enough
  // fricatives and vowels for the long-term spectrum to settle.
  static constexpr double kEnoughSeconds = 4.0;
  // Below this, the high band holds nothing but a resampler's leakage: the
  // audio is narrowband. Well clear of both groups above, so that old
  // recordings band-limited near 5 kHz keep the wideband model.
  static constexpr double kNarrowbandDb = -60.0;

  // Adds `speech` (an utterance: mono, [-1, 1], at AudioFile::kSampleRate)
  // to the measurement.
  void add(std::span<const float> speech);

  // The seconds of audio added so far.
  double measuredSeconds() const;

  // The power from 5 to 7 kHz relative to the power from 0.3 to 3.4 kHz,
  // in dB, over all the audio added; -inf for silence or no audio.
  double highBandDb() const;

  // Whether the audio added holds speech in the telephone band and next to
  // nothing above it: highBandDb() below kNarrowbandDb, with the low band
  // louder than digital silence.
  bool narrowband() const;

 private:
  ShortTimeSpectrum spectrum_;
  double lowBandPower_ = 0.0;
  double highBandPower_ = 0.0;
  double samples_ = 0.0;
};

}  // namespace vorn

#endif  // VORN_PLATFORM_ENGINES_SIGNAL_BANDWIDTH_METER_H_
