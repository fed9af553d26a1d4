// Arbitrary bytes as a file → FfmpegAudioFile::open, then read() to the end.
// vorn::Error is the one allowed failure; a crash, a leak, a hang, any other
// exception, or a sample that is not finite or lies outside [-1, 1] is a
// finding.

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/error.h"
#include "platform/audio/ffmpeg_audio_file.h"
#include "platform/file_url.h"
#include "memory_file.h"

namespace {

// Enough for any container's header to lead to real decoding, few enough
// that a tiny file declaring hours of audio (or a sample rate of 1 Hz, which
// the resampler multiplies 16000-fold) cannot make one unit slow.
constexpr std::size_t kMaxSamples = 4'000'000;

[[noreturn]] void finding(const char* what) {
  std::fprintf(stderr, "audio_file_fuzzer: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const MemoryFile file(data, size);
  try {
    const std::unique_ptr<vorn::AudioFile> audio =
        vorn::FfmpegAudioFile::open(vorn::FileURL::fromPath(file.path()));
    // An odd buffer size, so that reads end mid-frame and leftovers are
    // carried across calls.
    std::array<float, 4093> buffer;
    for (std::size_t total = 0; total < kMaxSamples;) {
      const std::size_t n = audio->read(buffer);
      if (n > buffer.size()) finding("read() reports more samples than the buffer holds");
      for (std::size_t k = 0; k < n; ++k) {
        if (!std::isfinite(buffer[k]) || buffer[k] < -1.0f || buffer[k] > 1.0f) {
          std::fprintf(stderr, "sample %zu is %a\n", total + k, static_cast<double>(buffer[k]));
          finding("a sample that is not finite or lies outside [-1, 1]");
        }
      }
      if (n < buffer.size()) {
        // The end of the audio: it must stay the end.
        if (audio->read(buffer) != 0) finding("read() delivers samples after a short read");
        break;
      }
      total += n;
    }
  } catch (const vorn::Error&) {
    // Refusing a damaged or unknown file is the reader's job.
  }
  return 0;
}
