// The samples the tool's reader makes of one audio file, for comparing two
// builds' FFmpeg on the same files (bench/bundle_benchmark.sh compares the
// self-contained build's audio-only FFmpeg with Debian's shared one).
//
// Usage: decoded_audio <audio-file>
// Writes the samples to standard output as raw 32-bit floats in the
// machine's byte order (mono, 16 kHz, as the engines get them); on a file
// the reader refuses, its "Error: " line on standard error and status 1.

#include <cstdio>
#include <memory>
#include <vector>

#include "platform/audio/ffmpeg_audio_file.h"
#include "platform/error.h"
#include "platform/file_url.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: decoded_audio <audio-file>\n", stderr);
    return 2;
  }
  try {
    const std::unique_ptr<vorn::AudioFile> file =
        vorn::FfmpegAudioFile::open(vorn::FileURL::fromPath(argv[1]));
    std::vector<float> buffer(1 << 16);
    while (const std::size_t n = file->read(buffer)) {
      if (std::fwrite(buffer.data(), sizeof(float), n, stdout) != n) return 1;
    }
  } catch (const vorn::Error& error) {
    std::fprintf(stderr, "Error: %s\n", error.localizedDescription().c_str());
    return 1;
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}
