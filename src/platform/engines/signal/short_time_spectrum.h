#ifndef VORN_PLATFORM_ENGINES_SIGNAL_SHORT_TIME_SPECTRUM_H_
#define VORN_PLATFORM_ENGINES_SIGNAL_SHORT_TIME_SPECTRUM_H_

// The power spectra of 25 ms frames of audio every 10 ms, the usual frames of
// speech analysis, computed with FFmpeg's FFT. Shared by the measures that
// look at utterances before an engine hears them (speech likeness, bandwidth).

#include <cstddef>
#include <functional>
#include <memory>
#include <span>

#include "platform/audio_file.h"

struct AVTXContext;

namespace vorn {

class ShortTimeSpectrum {
 public:
  static constexpr int kHop = AudioFile::kFrameSamples;
  static constexpr int kWindow = 400;     // 25 ms
  static constexpr int kTransform = 512;  // next power of two
  static constexpr int kBins = kTransform / 2 + 1;

  // Throws vorn::Error when the transform cannot be set up (out of memory).
  ShortTimeSpectrum();
  ~ShortTimeSpectrum();
  ShortTimeSpectrum(const ShortTimeSpectrum&) = delete;
  ShortTimeSpectrum& operator=(const ShortTimeSpectrum&) = delete;

  // The bin nearest `hz` at AudioFile::kSampleRate, in [0, kBins).
  static int binOf(double hz);

  // Calls `frame` with the power spectrum (kBins values, bin k at
  // k * kSampleRate / kTransform Hz) of each whole Hann-windowed 25 ms frame
  // of `samples` (mono, [-1, 1], at AudioFile::kSampleRate), in order, every
  // 10 ms. No call when `samples` is shorter than one frame. The span is
  // valid only during the call.
  void forEachFrame(std::span<const float> samples,
                    const std::function<void(std::span<const float> power)>& frame);

 private:
  struct FreeTransform {
    void operator()(AVTXContext* context) const noexcept;
  };
  struct FreeBuffer {
    void operator()(void* buffer) const noexcept;
  };

  std::unique_ptr<AVTXContext, FreeTransform> context_;
  void (*transform_)(AVTXContext*, void*, void*, std::ptrdiff_t) = nullptr;
  // The transform's SIMD code needs its buffers aligned as av_malloc aligns
  // them, more than std::vector promises.
  std::unique_ptr<float[], FreeBuffer> in_;
  std::unique_ptr<float[], FreeBuffer> out_;  // kBins complex values
  std::unique_ptr<float[]> window_;
  std::unique_ptr<float[]> power_;
};

}  // namespace vorn

#endif  // VORN_PLATFORM_ENGINES_SIGNAL_SHORT_TIME_SPECTRUM_H_
