#include "platform/audio/ffmpeg_audio_file.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <limits>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/file_url.h"

namespace vorn {
namespace {

namespace fs = std::filesystem;
using ::testing::Each;
using ::testing::FloatNear;
using ::testing::Pointwise;

constexpr double kRate = AudioFile::kSampleRate;

std::string fixture(const std::string& name) {
  return std::string(VORN_FIXTURES_DIR) + "/audio/" + name;
}

std::unique_ptr<AudioFile> open(const std::string& path) {
  return FfmpegAudioFile::open(FileURL::fromPath(path));
}

std::vector<float> readAll(AudioFile& file, std::size_t chunk = 4096) {
  std::vector<float> all;
  std::vector<float> buffer(chunk);
  while (const std::size_t n = file.read(buffer))
    all.insert(all.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(n));
  return all;
}

std::vector<float> readAll(const std::string& path, std::size_t chunk = 4096) {
  return readAll(*open(path), chunk);
}

double rms(const std::vector<float>& samples) {
  double sum = 0;
  for (float s : samples) sum += static_cast<double>(s) * s;
  return samples.empty() ? 0 : std::sqrt(sum / static_cast<double>(samples.size()));
}

// Writes a WAV of 32-bit float samples (interleaved, `channels` per frame)
// in its plain form, which declares no channel layout: FFmpeg reads it as
// "unspecified order", the case of a layout the reader must not rely on.
void writeFloatWav(const std::string& path, int rate, int channels,
                   const std::vector<float>& samples) {
  std::ofstream out(path, std::ios::binary);
  auto u32 = [&](std::uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
  auto u16 = [&](std::uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
  const auto bytes = static_cast<std::uint32_t>(samples.size() * sizeof(float));
  out.write("RIFF", 4);
  u32(36 + bytes);
  out.write("WAVEfmt ", 8);
  u32(16);
  u16(3);  // WAVE_FORMAT_IEEE_FLOAT
  u16(static_cast<std::uint16_t>(channels));
  u32(static_cast<std::uint32_t>(rate));
  u32(static_cast<std::uint32_t>(rate * channels * 4));
  u16(static_cast<std::uint16_t>(channels * 4));
  u16(32);
  out.write("data", 4);
  u32(bytes);
  out.write(reinterpret_cast<const char*>(samples.data()), bytes);
}

class FfmpegAudioFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = ::testing::TempDir() + "ffmpeg_audio_file_XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  std::string path(const std::string& name) const { return (dir_ / name).string(); }

  fs::path dir_;
};

// --- Formats ---------------------------------------------------------------

struct FormatCase {
  const char* name;  // test name
  const char* file;
  double seconds;  // of audio in the file
  double rms;      // expected level of the mono mix
  int slack;       // tolerated difference in sample count
  int sourceRate;  // what sourceSampleRate() tells
};

// Every tone is 440 Hz at amplitude 0.5 (RMS 0.3536) in every channel,
// unless the row says otherwise; tests/fixtures/audio/README.md tells how each
// file was made. A slack of 2 means the file's exact length must come out:
// no lost resampler tail, no encoder padding left in.
const FormatCase kFormats[] = {
    {"WavS16Mono8k", "tone_8k_mono_s16.wav", 0.25, 0.3536, 2, 8000},
    {"WavU8Stereo11k", "tone_11k_stereo_u8.wav", 0.2, 0.3536, 2, 11025},
    {"AiffMono8k", "tone_8k_mono.aiff", 0.2, 0.3536, 2, 8000},
    {"CafMono16k", "tone_16k_mono.caf", 0.1, 0.3536, 2, 16000},
    {"Mp3Mono22k", "tone_22k_mono.mp3", 0.5, 0.3536, 2, 22050},
    // FFmpeg leaves the AAC encoder's end padding in (up to a frame of 1024
    // samples at 44.1 kHz, 372 at 16 kHz) and drops part of Vorbis's last
    // block; those are the decoder's, not the reader's.
    {"M4aAacStereo44k", "tone_44k_stereo.m4a", 0.5, 0.3536, 372, 44100},
    {"OggVorbisStereo32k", "tone_32k_stereo.ogg", 0.3, 0.3536, 100, 32000},
    {"FlacMono48k", "tone_48k_mono.flac", 0.1, 0.3536, 2, 48000},
    {"WebmOpusMono48k", "tone_48k_mono.webm", 0.5, 0.3536, 2, 48000},
    {"FlacMono192k", "tone_192k_mono.flac", 0.05, 0.3536, 2, 192000},
    {"OggOpus6Channels", "tone_48k_6ch.opus", 0.5, 0.3536, 2, 48000},
    // The tone in the first of eight channels only: an equal-weight mean
    // gives an eighth of its level.
    {"Flac8ChannelsToneInFirst", "tone_8k_8ch_first_only.flac", 0.25, 0.3536 / 8, 2, 8000},
    // Ten planar channels of unspecified layout, the tone in the last: its
    // plane is only in AVFrame::extended_data.
    {"Opus10ChannelsToneInLast", "tone_10ch_last_only.opus", 0.25, 0.3536 / 10, 2, 48000},
    // 0.5 s at 22.05 kHz, then 0.5 s at 44.1 kHz, in one MP3 stream; without
    // the gapless header, each half carries its encoder's padding (~0.07 s of
    // near-silence, hence the lower level).
    // A reader that kept the first rate would make the second half twice as
    // long (1.67 s in all).
    {"Mp3RateChangesMidway", "tone_22k_then_44k.mp3", 1.0, 0.33, 2400, 44100},
    // An MPEG-4 video track plus the MP3 of Mp3Mono22k without its gapless
    // header (Matroska keeps none), so ~0.05 s of padding.
    {"VideoWithSoundtrack", "video_with_tone.mkv", 0.5, 0.3536, 1000, 22050},
    // Telephone audio. The speech codecs lose some of a pure tone's level.
    {"WavMuLaw8k", "tone_8k_mono_mulaw.wav", 0.24, 0.3536, 2, 8000},
    {"WavALaw8k", "tone_8k_mono_alaw.wav", 0.24, 0.3536, 2, 8000},
    {"RawGsm8k", "tone_8k_mono.gsm", 0.24, 0.33, 2, 8000},
    {"WavGsm8k", "tone_8k_mono_gsm.wav", 0.24, 0.33, 2, 8000},
    {"AmrNb8k", "tone_8k_mono.amr", 0.24, 0.30, 2, 8000},
    // AMR-NB with discontinuous transmission, as phones send it: the 0.4 s
    // pause between the tones is coded as comfort-noise and empty frames,
    // which FFmpeg's decoder rejects; they must come out as silence of
    // their length, not as an error or a gap (the level: the tones' over
    // 0.88 s, less a little for the decoder's restart after the pause).
    {"AmrNbWithPause8k", "tone_pause_tone_8k.amr", 0.88, 0.20, 2, 8000},
};

void PrintTo(const FormatCase& c, std::ostream* os) { *os << c.file; }

class FfmpegAudioFileFormatTest : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FfmpegAudioFileFormatTest, ReadsTheWholeToneAtItsLevel) {
  const FormatCase& c = GetParam();
  const std::vector<float> samples = readAll(fixture(c.file));

  EXPECT_NEAR(static_cast<double>(samples.size()), c.seconds * kRate, c.slack);
  EXPECT_NEAR(rms(samples), c.rms, c.rms * 0.1);
  EXPECT_THAT(samples, Each(::testing::AllOf(::testing::Ge(-1.0f), ::testing::Le(1.0f))));
}

TEST_P(FfmpegAudioFileFormatTest, TellsTheRateTheAudioIsStoredAt) {
  const FormatCase& c = GetParam();
  EXPECT_EQ(open(fixture(c.file))->sourceSampleRate(), c.sourceRate);
}

// The length the file states is what progress is measured against: near
// what the reader delivers, in the right unit. Only near: a header may count
// the encoder's padding (the MP3's 15% here), a container the video track
// that outlasts the sound (30%), a raw stream's estimate from its bit rate
// the speech codec's quieter frames.
TEST_P(FfmpegAudioFileFormatTest, StatesALengthNearWhatItDelivers) {
  const FormatCase& c = GetParam();
  const std::optional<CMTime> duration = open(fixture(c.file))->duration();
  ASSERT_TRUE(duration.has_value());
  EXPECT_EQ(duration->timescale, kRate);
  const double expected = c.seconds * kRate;
  EXPECT_NEAR(static_cast<double>(duration->value), expected, std::max(c.slack * 1.0, 0.35 * expected));
}

INSTANTIATE_TEST_SUITE_P(, FfmpegAudioFileFormatTest, ::testing::ValuesIn(kFormats),
                         [](const auto& testInfo) { return std::string(testInfo.param.name); });

// --- Streaming ----------------------------------------------------------------

TEST(FfmpegAudioFileStreamingTest, TinyReadsGiveTheSameSamplesAsBigOnes) {
  // Resampled files, so frames, resampler output and the final drain all
  // straddle the 7-sample reads; the second also changes rate midway.
  for (const char* name :
       {"tone_22k_mono.mp3", "tone_22k_then_44k.mp3", "tone_11k_stereo_u8.wav"}) {
    SCOPED_TRACE(name);
    const std::vector<float> big = readAll(fixture(name), 1 << 16);
    const std::vector<float> tiny = readAll(fixture(name), 7);
    ASSERT_FALSE(big.empty());
    EXPECT_EQ(tiny, big);
  }
}

TEST(FfmpegAudioFileStreamingTest, ReadFillsTheBufferUntilTheEndThenReturnsZero) {
  auto file = open(fixture("tone_8k_mono_s16.wav"));  // 4000 samples
  std::vector<float> buffer(3000);
  EXPECT_EQ(file->read(buffer), 3000u);
  EXPECT_EQ(file->read(buffer), 1000u);
  EXPECT_EQ(file->read(buffer), 0u);
  EXPECT_EQ(file->read(buffer), 0u);
}

// --- Sample values ---------------------------------------------------------

struct MixCase {
  const char* name;
  std::vector<float> frame;  // one value per channel, repeated for 0.1 s
  float mono;
};

// 16 kHz files, so no resampling blurs the values.
TEST_F(FfmpegAudioFileTest, MixesChannelsWithEqualWeight) {
  const std::vector<MixCase> cases = {
      {"opposite phase cancels", {0.5f, -0.5f}, 0.0f},
      {"one silent channel halves", {0.8f, 0.0f}, 0.4f},
      {"full scale stays full scale", {1.0f, 1.0f}, 1.0f},
      {"three channels", {0.3f, 0.6f, 0.9f}, 0.6f},
      // Planes past the eighth live only in AVFrame::extended_data.
      {"ten channels, last one loud", {0, 0, 0, 0, 0, 0, 0, 0, 0, 1.0f}, 0.1f},
  };
  for (const MixCase& c : cases) {
    SCOPED_TRACE(c.name);
    const int channels = static_cast<int>(c.frame.size());
    std::vector<float> interleaved;
    for (int i = 0; i < 1600; ++i)
      interleaved.insert(interleaved.end(), c.frame.begin(), c.frame.end());
    writeFloatWav(path("mix.wav"), 16000, channels, interleaved);

    const std::vector<float> samples = readAll(path("mix.wav"));
    ASSERT_EQ(samples.size(), 1600u);
    EXPECT_THAT(samples, Each(FloatNear(c.mono, 1e-6f)));
  }
}

TEST_F(FfmpegAudioFileTest, NonFiniteSamplesBecomeSilenceAndLoudOnesAreClamped) {
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  writeFloatWav(path("mono.wav"), 16000, 1, {0.25f, nan, inf, -inf, 3.0f, -2.0f, -0.5f});
  EXPECT_THAT(readAll(path("mono.wav")),
              Pointwise(FloatNear(1e-6f), {0.25f, 0.0f, 0.0f, 0.0f, 1.0f, -1.0f, -0.5f}));

  // A bad or overloud sample in one channel leaves the other's contribution
  // alone.
  writeFloatWav(path("stereo.wav"), 16000, 2, {nan, 0.6f, 0.6f, -inf, 3.0f, -1.0f});
  EXPECT_THAT(readAll(path("stereo.wav")), Pointwise(FloatNear(1e-6f), {0.3f, 0.3f, 0.0f}));
}

TEST_F(FfmpegAudioFileTest, ANanIsSilencedBeforeTheResamplerCanSmearIt) {
  // 0.1 s of a steady 0.5 at 48 kHz with one NaN in the middle. Zeroed
  // first, it is a one-sample dip; fed to the resampler, it would turn every
  // output sample its filter reaches into NaN (or, zeroed afterwards, into a
  // run of silence).
  std::vector<float> input(4800, 0.5f);
  input[2400] = std::numeric_limits<float>::quiet_NaN();
  writeFloatWav(path("nan.wav"), 48000, 1, input);

  const std::vector<float> samples = readAll(path("nan.wav"));
  ASSERT_EQ(samples.size(), 1600u);
  // Away from the edges, where the filter sees the silence around the file.
  const std::vector<float> middle(samples.begin() + 100, samples.end() - 100);
  EXPECT_THAT(middle, Each(::testing::Gt(0.3f)));
}

TEST_F(FfmpegAudioFileTest, AFileWithAHeaderAndNoSamplesIsEmpty) {
  writeFloatWav(path("empty.wav"), 44100, 2, {});
  auto file = open(path("empty.wav"));
  std::vector<float> buffer(16);
  EXPECT_EQ(file->read(buffer), 0u);
  EXPECT_EQ(file->read(buffer), 0u);
}

// --- Paths -----------------------------------------------------------------

TEST_F(FfmpegAudioFileTest, PathsWithColonsAreLocalFiles) {
  // "http:", "concat:" or "take:" must never be read as an FFmpeg protocol.
  fs::create_directory(path("concat:http:"));
  const std::string file = path("concat:http:/take:1.wav");
  fs::copy_file(fixture("tone_8k_mono_s16.wav"), file);
  EXPECT_EQ(readAll(file).size(), 4000u);
}

// --- Failures --------------------------------------------------------------

// Opens `path` expecting a failure and returns its description. Fails the
// test instead of hanging if open() blocks, as opening a named pipe would.
std::string openFailure(const std::string& path) {
  auto attempt = std::async(std::launch::async, [&]() -> std::string {
    try {
      open(path);
      return "(opened)";
    } catch (const Error& e) {
      return e.localizedDescription();
    }
  });
  if (attempt.wait_for(std::chrono::seconds(10)) == std::future_status::timeout) {
    ADD_FAILURE() << "open() blocked on " << path;
    // A writer lets a reader blocked in open() on a FIFO go.
    const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
    if (fd >= 0) ::close(fd);
  }
  return attempt.get();
}

TEST_F(FfmpegAudioFileTest, OpenNamesTheFileAndWhatIsWrongWithIt) {
  struct Case {
    const char* name;
    std::function<std::string()> make;  // returns the path to open
    std::string reason;
  };
  const std::vector<Case> cases = {
      {"missing", [&] { return path("missing.wav"); }, "there is no such file"},
      {"directory", [&] { return dir_.string(); }, "it is a directory"},
      {"named pipe",
       [&] {
         EXPECT_EQ(mkfifo(path("pipe.wav").c_str(), 0600), 0);
         return path("pipe.wav");
       },
       "it is a named pipe, not a regular file"},
      {"device", [] { return std::string("/dev/null"); }, "it is a device, not a regular file"},
      {"zero bytes",
       [&] {
         std::ofstream(path("zero.wav")).flush();
         return path("zero.wav");
       },
       "the file is not in a known audio format"},
      {"text named .wav",
       [&] {
         std::ofstream(path("notes.wav")) << "Meeting notes\n1. Budget\n2. Hiring\n";
         return path("notes.wav");
       },
       "the file is not in a known audio format"},
      {"video without sound", [] { return fixture("video_only.mp4"); },
       "the file holds no audio stream"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string file = c.make();
    EXPECT_EQ(openFailure(file), "cannot read audio from " + file + ": " + c.reason);
  }
}

TEST(FfmpegAudioFileCorruptionTest, DamageMidwayThrowsFromReadAfterTheGoodAudio) {
  // 1.2 s of FLAC (three frames) with 48 bytes zeroed 70% of the way in:
  // its header and first frame are intact.
  const std::string file = fixture("corrupt_midway.flac");
  auto reader = open(file);
  std::vector<float> buffer(256);
  std::size_t good = 0;
  try {
    while (const std::size_t n = reader->read(buffer)) good += n;
    FAIL() << "read the damaged file to its end";
  } catch (const Error& e) {
    EXPECT_THAT(e.localizedDescription(), ::testing::StartsWith("cannot read audio from " + file +
                                                                ": the audio data is corrupt ("));
  }
  EXPECT_GT(good, 0u);
  // Spent, not silently at its end.
  EXPECT_THROW(reader->read(buffer), Error);
}

TEST(FfmpegAudioFileQuietTest, PrintsNothingEvenAboutBadFiles) {
  // FFmpeg would otherwise report the damage on stderr.
  ::testing::internal::CaptureStderr();
  ::testing::internal::CaptureStdout();
  try {
    readAll(fixture("corrupt_midway.flac"));
  } catch (const Error&) {
  }
  try {
    readAll(fixture("video_only.mp4"));
  } catch (const Error&) {
  }
  readAll(fixture("tone_44k_stereo.m4a"));
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

}  // namespace
}  // namespace vorn
