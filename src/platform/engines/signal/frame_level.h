#ifndef VORN_PLATFORM_ENGINES_SIGNAL_FRAME_LEVEL_H_
#define VORN_PLATFORM_ENGINES_SIGNAL_FRAME_LEVEL_H_

// The level of a short frame of samples, the one measure of loudness that
// the pause detector and the word-edge fit share.

namespace vorn {

// What digital silence reads, exactly, and the least any frame reads:
// finite, so that floors and differences taken over levels stay finite,
// and below any real recording's noise.
inline constexpr double kSilenceLevelDb = -100.0;

// The level in dB relative to full scale of `count` samples (> 0) in
// [-1, 1], from their sum and the sum of their squares: 10 log10 of their
// variance (plus the variance that makes kSilenceLevelDb). The variance and
// not the mean square, so that an offset in the recording (a cheap
// microphone's DC) does not count as sound and hide quiet speech; removing
// the mean per frame, unlike a high-pass filter, leaves no tail that would
// spill a sound's energy into the frames after it. A full-scale square wave
// reads 0 dB, a full-scale sine -3 dB.
double frameLevelDb(double sum, double sumOfSquares, int count);

}  // namespace vorn

#endif  // VORN_PLATFORM_ENGINES_SIGNAL_FRAME_LEVEL_H_
