#ifndef VORN_PLATFORM_AUDIO_FFMPEG_AUDIO_FILE_H_
#define VORN_PLATFORM_AUDIO_FFMPEG_AUDIO_FILE_H_

#include <cstddef>
#include <memory>
#include <optional>
#include <span>

#include "platform/audio_file.h"
#include "platform/file_url.h"

namespace vorn {

// An AudioFile that decodes a local file with FFmpeg (libavformat, libavcodec,
// libswresample): any container and codec the linked FFmpeg can demux and
// decode, among them WAV, AIFF, CAF, MP3, M4A/AAC, FLAC, Ogg/Vorbis and
// WebM/Opus, at any sample rate up to 768 kHz and with any number of
// channels.
//
// What read() delivers:
//
//   - Mono: each output sample is the mean of the source's channels, every
//     channel weighted equally. A weighted downmix (centre louder, surrounds
//     quieter) suits listening, but speech may sit in any channel and an
//     engine should hear all of them; a mean, unlike a sum, cannot clip.
//     Because every channel counts the same, channel order is irrelevant, so
//     files whose channel layout is unknown or unspecified are read like any
//     other: only the channel count matters.
//   - At AudioFile::kSampleRate, resampled from whatever rate each decoded
//     frame has; a stream whose rate changes midway is resampled piecewise,
//     and the resampler's delay is drained at every change and at the end,
//     so the output holds duration × kSampleRate samples (within a few
//     samples, plus whatever padding a lossy codec leaves undeclared).
//   - Within [-1, 1] and finite: NaN and ±infinity in floating-point sources
//     are read as 0 (silence) before mixing, so one bad channel does not
//     poison the others and a NaN never reaches the resampler, whose filter
//     would smear it over its neighbours; out-of-range values are clamped,
//     before mixing and again after resampling (a band-limited filter may
//     overshoot a full-scale signal).
//
// Decoding is lazy: read() decodes packet by packet, only as far as it needs
// to fill the caller's buffer. What the reader holds at any time is bounded
// by one packet and the samples decoded from it, whatever the file's length.
//
// Safety: the reader runs unattended on whatever file a user hands it.
//   - It reads local files only. The path is given to FFmpeg as "file:<path>",
//     so a path containing ':' is never taken for a URL, and the only
//     protocol allowed, also for files a container may refer to, is "file";
//     nothing is ever fetched from the network.
//   - It opens regular files only (after following symbolic links): a named
//     pipe, socket or device is refused before it is opened, so open() never
//     blocks waiting for a writer.
//   - It prints nothing: FFmpeg's logging is switched off for the whole
//     process (av_log_set_level(AV_LOG_QUIET)) the first time a file is
//     opened, since its warnings about damaged data would land on the
//     stderr the tool reserves for its own messages.
//
// Errors are vorn::Error with the description
//   "cannot read audio from <path>: <reason>"
// where <path> is url.path() byte for byte and <reason> says what is wrong in
// words, with FFmpeg's own explanation in parentheses where it adds one.
//
// Thread safety: distinct readers may be used on distinct threads at once; a
// single reader is used by one thread at a time (see AudioFile).
class FfmpegAudioFile final : public AudioFile {
 public:
  // Opens the file at `url` and prepares to decode its best audio stream (as
  // av_find_best_stream ranks them; in a video file, its soundtrack). Reads
  // the file's header and, where the container needs it to learn its
  // streams' parameters, a few seconds of data; delivers nothing yet.
  //
  // Throws vorn::Error when the file cannot be read as audio; <reason> is
  // one of:
  //   "there is no such file"
  //   "permission denied"
  //   "it is a directory"
  //   "it is a named pipe, not a regular file"   (also "a socket", "a device")
  //   "the file is not in a known audio format"
  //   "the file holds no audio stream"            (e.g. a silent video)
  //   "the audio is encoded as <codec>, which this program cannot decode"
  //   "the audio data is corrupt (<FFmpeg's explanation>)"
  //   "the file ends too early or cannot be read (<FFmpeg's explanation>)"
  //   "the file cannot be read (<system's explanation>)"
  // A file with a valid header and no samples is not an error: its first
  // read() returns 0.
  static std::unique_ptr<AudioFile> open(const FileURL& url);

  ~FfmpegAudioFile() override;
  FfmpegAudioFile(const FfmpegAudioFile&) = delete;
  FfmpegAudioFile& operator=(const FfmpegAudioFile&) = delete;

  // Fills the front of `out` with the next samples (as described above) and
  // returns how many; returns less than out.size() only at the end of the
  // audio, and 0 when the audio is over (or `out` is empty).
  //
  // Throws vorn::Error ("the audio data is corrupt (...)") when the decoder
  // or the demuxer reports damaged data: a reader that silently skipped it
  // would shift every later timestamp. Samples returned by earlier calls
  // stay valid; the reader is then spent, and every further call throws the
  // same error.
  std::size_t read(std::span<float> out) override;

  // The rate of the chosen stream as FFmpeg reports it once the file is
  // open (from the container's header or the first packets; for a stream
  // whose rate changes midway, one of its rates), or 0 when unknown.
  int sourceSampleRate() const override;

  // The stream's duration as the container states it, else the container's
  // (which FFmpeg estimates from the bit rate and the file's size for
  // formats without one, such as MP3 without a header frame).
  std::optional<CMTime> duration() const override;

 private:
  struct Decoder;
  explicit FfmpegAudioFile(std::unique_ptr<Decoder> decoder);

  std::unique_ptr<Decoder> decoder_;
};

}  // namespace vorn

#endif  // VORN_PLATFORM_AUDIO_FFMPEG_AUDIO_FILE_H_
