#ifndef VORN_PLATFORM_AUDIO_FILE_H_
#define VORN_PLATFORM_AUDIO_FILE_H_

#include <cstddef>
#include <optional>
#include <span>

#include "platform/cm_time.h"

namespace vorn {

// An audio file opened for reading, delivered as one stream of mono samples
// in [-1, 1] at kSampleRate, whatever the file's own format. Every engine we
// support analyzes 16 kHz mono, so the reader does the conversion once, in a
// well-tested place, instead of each engine doing its own.
//
// Not thread-safe: one reader at a time.
class AudioFile {
 public:
  static constexpr int kSampleRate = 16000;
  // The 10 ms frame that every measure on the samples and every engine's
  // word times are counted in.
  static constexpr int kFrameSamples = kSampleRate / 100;

  virtual ~AudioFile() = default;

  // Fills the front of `out` with the next samples and returns how many were
  // written; 0 means the end of the audio (and only that). Throws vorn::Error
  // when the data cannot be decoded.
  virtual std::size_t read(std::span<float> out) = 0;

  // The sample rate of the audio as stored in the file, in Hz, before any
  // conversion; 0 when unknown (audio that does not come from a file). It
  // tells how much of the spectrum the samples can hold: audio stored at
  // 8 kHz (telephone recordings) has nothing above 4 kHz however it is
  // resampled, and engines decode such audio with a model fitted to it.
  virtual int sourceSampleRate() const { return 0; }

  // How long the audio is, as the file states it (its header, or for some
  // formats an estimate from the bit rate), or nothing when it does not say.
  // Only a statement: read() may deliver somewhat more or fewer samples, so
  // it serves to tell how far through the file a reader is, not where it
  // ends.
  virtual std::optional<CMTime> duration() const { return std::nullopt; }
};

}  // namespace vorn

#endif  // VORN_PLATFORM_AUDIO_FILE_H_
