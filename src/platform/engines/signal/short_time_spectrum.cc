#include "platform/engines/signal/short_time_spectrum.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "platform/audio_file.h"
#include "platform/error.h"

extern "C" {
#include <libavutil/mem.h>
#include <libavutil/tx.h>
}

namespace vorn {
namespace {

static_assert(ShortTimeSpectrum::kWindow * 40 == AudioFile::kSampleRate);

float* alignedFloats(std::size_t count) {
  auto* buffer = static_cast<float*>(av_calloc(count, sizeof(float)));
  if (buffer == nullptr) throw Error("out of memory while analysing the audio");
  return buffer;
}

}  // namespace

void ShortTimeSpectrum::FreeTransform::operator()(AVTXContext* context) const noexcept {
  av_tx_uninit(&context);
}

void ShortTimeSpectrum::FreeBuffer::operator()(void* buffer) const noexcept { av_free(buffer); }

ShortTimeSpectrum::ShortTimeSpectrum()
    : in_(alignedFloats(kTransform)),
      out_(alignedFloats(2 * kBins)),
      window_(std::make_unique<float[]>(kWindow)),
      power_(std::make_unique<float[]>(kBins)) {
  AVTXContext* raw = nullptr;
  av_tx_fn transform = nullptr;
  float scale = 1.0f;
  if (av_tx_init(&raw, &transform, AV_TX_FLOAT_RDFT, 0, kTransform, &scale, 0) < 0) {
    throw Error("out of memory while analysing the audio");
  }
  context_.reset(raw);
  transform_ = transform;
  for (int i = 0; i < kWindow; ++i) {
    window_[i] =
        static_cast<float>(0.5 - 0.5 * std::cos(2 * std::numbers::pi * i / (kWindow - 1)));
  }
}

ShortTimeSpectrum::~ShortTimeSpectrum() = default;

int ShortTimeSpectrum::binOf(double hz) {
  const long bin = std::lround(hz * kTransform / AudioFile::kSampleRate);
  return static_cast<int>(std::clamp<long>(bin, 0, kBins - 1));
}

void ShortTimeSpectrum::forEachFrame(
    std::span<const float> samples,
    const std::function<void(std::span<const float> power)>& frame) {
  for (std::size_t start = 0; start + kWindow <= samples.size(); start += kHop) {
    std::fill(in_.get(), in_.get() + kTransform, 0.0f);
    for (int i = 0; i < kWindow; ++i) in_[i] = samples[start + i] * window_[i];
    transform_(context_.get(), out_.get(), in_.get(), 2 * sizeof(float));
    for (int k = 0; k < kBins; ++k) {
      const float re = out_[2 * k];
      const float im = out_[2 * k + 1];
      power_[k] = re * re + im * im;
    }
    frame(std::span<const float>(power_.get(), kBins));
  }
}

}  // namespace vorn
