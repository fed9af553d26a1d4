// Whatever file a user drops on the tool, and whatever the command line
// holds, the run ends cleanly and in bounded time: status 0 with one JSON
// line and nothing on standard error, or status 1 with nothing on standard
// output and exactly one "Error: " line.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <future>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace vorn {
namespace {

using testing::ProcessResult;
using testing::runVornSpeech;
using testing::TempDir;

enum class Outcome { kDocument, kError, kEither };

// Checks the clean-ending rule and returns whether a document was printed.
void expectClean(const ProcessResult& result, Outcome expected, const std::string& what) {
  SCOPED_TRACE(what);
  if (result.status == 0) {
    EXPECT_NE(expected, Outcome::kError) << result.out;
    EXPECT_EQ(result.err, "");
    ASSERT_FALSE(result.out.empty());
    EXPECT_EQ(result.out.find('\n'), result.out.size() - 1) << result.out;
    EXPECT_EQ(result.out.rfind("{\"locale\":", 0), 0u) << result.out;
    EXPECT_EQ(result.out.substr(result.out.size() - 3), "]}\n") << result.out;
  } else {
    EXPECT_NE(expected, Outcome::kDocument) << result.err;
    EXPECT_EQ(result.status, 1) << "ended by a signal or a strange status";
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err.rfind("Error: ", 0), 0u) << result.err;
    EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << "more than one line: " << result.err;
  }
}

std::string le(std::uint64_t value, int bytes) {
  std::string out;
  for (int k = 0; k < bytes; ++k) out += static_cast<char>((value >> (8 * k)) & 0xFF);
  return out;
}

// A WAV file. Fields can be made to lie about the data that follows.
struct Wav {
  std::uint16_t format = 1;  // 1 PCM, 3 IEEE float
  std::uint16_t channels = 1;
  std::uint32_t rate = 16000;
  std::uint16_t bits = 16;
  std::string data;
  std::optional<std::uint32_t> claimedDataSize;

  std::string bytes() const {
    const std::uint32_t blockAlign = channels * (bits / 8);
    const std::uint32_t size = claimedDataSize.value_or(static_cast<std::uint32_t>(data.size()));
    return "RIFF" + le(36 + data.size(), 4) + "WAVEfmt " + le(16, 4) + le(format, 2) + le(channels, 2) +
           le(rate, 4) + le(std::uint64_t{rate} * blockAlign, 4) + le(blockAlign, 2) + le(bits, 2) + "data" +
           le(size, 4) + data;
  }
};

// `seconds` of a 220 Hz tone, the same on every channel, as 16-bit PCM.
std::string tonePcm16(double seconds, std::uint32_t rate, int channels) {
  std::string data;
  const auto frames = static_cast<std::size_t>(seconds * rate);
  for (std::size_t n = 0; n < frames; ++n) {
    const auto sample = static_cast<std::int16_t>(8000 * std::sin(2 * M_PI * 220 * double(n) / rate));
    for (int c = 0; c < channels; ++c) data += le(static_cast<std::uint16_t>(sample), 2);
  }
  return data;
}

std::string randomBytes(std::size_t count, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(count, '\0');
  for (char& b : bytes) b = static_cast<char>(random() & 0xFF);
  return bytes;
}

std::string fixtureBytes(const std::string& name) {
  std::ifstream in(testing::fixture("hostile/" + name), std::ios::binary);
  std::ostringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

struct FileCase {
  const char* name;
  std::string fileName;
  std::string contents;
  Outcome outcome;
};

class HostileFileTest : public ::testing::TestWithParam<FileCase> {};

TEST_P(HostileFileTest, EndsCleanly) {
  const FileCase& c = GetParam();
  TempDir dir;
  const std::string path = dir.write(c.fileName, c.contents);
  const ProcessResult result = runVornSpeech({"--input", path});
  expectClean(result, c.outcome, c.name);
  if (result.status == 1) {
    EXPECT_NE(result.err.find(c.fileName), std::string::npos) << "the error names the file: " << result.err;
  }
}

Wav wavWith(void (*change)(Wav&)) {
  Wav wav;
  change(wav);
  return wav;
}

std::string floatSamples(const std::vector<float>& values) {
  std::string data;
  for (const float value : values) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    data += le(bits, 4);
  }
  return data;
}

INSTANTIATE_TEST_SUITE_P(
    Files, HostileFileTest,
    ::testing::Values(
        FileCase{"ZeroBytes", "zero.wav", "", Outcome::kError},
        FileCase{"HeaderWithoutSamples", "header.wav", Wav{}.bytes(), Outcome::kDocument},
        FileCase{"SizeClaimsMoreThanThere", "long-claim.wav",
                 wavWith([](Wav& w) {
                   w.data = tonePcm16(0.2, 16000, 1);
                   w.claimedDataSize = 0xFFFFFFF0u;
                 }).bytes(),
                 Outcome::kEither},
        FileCase{"RateZero", "rate0.wav",
                 wavWith([](Wav& w) {
                   w.rate = 0;
                   w.data = tonePcm16(0.2, 16000, 1);
                 }).bytes(),
                 Outcome::kError},
        // The resampler's tables grow with the claimed rate: gigabytes here.
        FileCase{"RateAbsurd", "rate-ghz.wav",
                 wavWith([](Wav& w) {
                   w.rate = 889200448;
                   w.data = tonePcm16(0.01, 16000, 1);
                 }).bytes(),
                 Outcome::kError},
        FileCase{"ChannelsZero", "chan0.wav",
                 wavWith([](Wav& w) {
                   w.channels = 0;
                   w.data = tonePcm16(0.2, 16000, 1);
                 }).bytes(),
                 Outcome::kError},
        FileCase{"RandomBytesAsWav", "noise.wav", randomBytes(20000, 1), Outcome::kEither},
        FileCase{"RandomBytesAsMp3", "noise.mp3", randomBytes(20000, 2), Outcome::kEither},
        FileCase{"RandomBytesAsM4a", "noise.m4a", randomBytes(20000, 3), Outcome::kEither},
        FileCase{"RandomBytesAsOgg", "noise.ogg", randomBytes(20000, 4), Outcome::kEither},
        FileCase{"WavHeaderThenRandomBytes", "garbage.wav", Wav{}.bytes() + randomBytes(8000, 5),
                 Outcome::kDocument},
        FileCase{"TruncatedMp3", "cut.mp3", fixtureBytes("tone.mp3").substr(0, 2000), Outcome::kEither},
        FileCase{"TruncatedM4a", "cut.m4a", fixtureBytes("tone.m4a").substr(0, 2000), Outcome::kEither},
        FileCase{"TruncatedOgg", "cut.ogg", fixtureBytes("tone.ogg").substr(0, 2000), Outcome::kEither},
        FileCase{"TextRenamed", "letter.mp3", "Dear reader,\nthis is not a recording.\n", Outcome::kError},
        FileCase{"ImageRenamed", "photo.m4a", fixtureBytes("image.png"), Outcome::kError},
        FileCase{"VideoWithoutAudio", "clip.mp4", fixtureBytes("video-only.mp4"), Outcome::kError},
        FileCase{"TenMilliseconds", "blip.wav", wavWith([](Wav& w) { w.data = tonePcm16(0.01, 16000, 1); }).bytes(),
                 Outcome::kDocument},
        FileCase{"MinuteOfSilence", "silence.wav",
                 wavWith([](Wav& w) { w.data = std::string(16000 * 2 * 60, '\0'); }).bytes(), Outcome::kDocument},
        FileCase{"WhiteNoise", "hiss.wav",
                 wavWith([](Wav& w) { w.data = randomBytes(16000 * 2 * 2, 6); }).bytes(), Outcome::kDocument},
        FileCase{"FloatNaNAndInfinity", "nan.wav",
                 wavWith([](Wav& w) {
                   w.format = 3;
                   w.bits = 32;
                   std::vector<float> values;
                   for (int n = 0; n < 16000; ++n) {
                     const float specials[] = {std::numeric_limits<float>::quiet_NaN(),
                                               std::numeric_limits<float>::infinity(),
                                               -std::numeric_limits<float>::infinity(), 1e30f, 0.25f};
                     values.push_back(specials[n % 5]);
                   }
                   w.data = floatSamples(values);
                 }).bytes(),
                 Outcome::kDocument}),
    testing::CaseName());

TEST(HostileFormatTest, SampleRatesAndChannelCounts) {
  TempDir dir;
  const std::uint32_t rates[] = {8000, 11025, 22050, 44100, 48000, 96000, 192000};
  for (const std::uint32_t rate : rates) {
    for (const int channels : {1, 2, 6, 8}) {
      Wav wav;
      wav.rate = rate;
      wav.channels = static_cast<std::uint16_t>(channels);
      wav.data = tonePcm16(0.3, rate, channels);
      const std::string path =
          dir.write("tone-" + std::to_string(rate) + "-" + std::to_string(channels) + ".wav", wav.bytes());
      expectClean(runVornSpeech({"-i", path}), Outcome::kDocument, path);
    }
  }
}

TEST(HostileNameTest, StrangeFileNamesWork) {
  TempDir dir;
  for (const std::string name : {"with space.wav", "new\nline.wav", "-leading-dash.wav", "caf\xE9\xFF.wav"}) {
    const std::string path = dir.write(name, Wav{}.bytes());
    const ProcessResult result = runVornSpeech({"--input", path});
    EXPECT_EQ(result.out, "{\"locale\":\"en-US\",\"segments\":[]}\n") << name;
    EXPECT_EQ(result.status, 0) << name;
    // Relative, straight after the option: a leading dash is still a value.
    testing::ProcessOptions options;
    options.workingDirectory = dir.path();
    EXPECT_EQ(runVornSpeech({"-i", name}, options).status, 0) << name;
  }
}

TEST(HostileNameTest, ErrorsNamingAStrangeFileStayOneLine) {
  TempDir dir;
  const std::string path = dir.write("bad\nname\r.wav", "not audio at all");
  const ProcessResult result = runVornSpeech({"--input", path});
  expectClean(result, Outcome::kError, "newline in name");
}

TEST(HostileLocaleTest, OddLocalesEndCleanly) {
  TempDir dir;
  const std::string path = dir.write("empty.wav", Wav{}.bytes());
  const std::string locales[] = {"", std::string(10 * 1024, 'x'), "en-\n\t\x01US", "fr\nFR\r\n", "\xFF\xFE",
                                 "en\xFF", "en-" + std::string(10 * 1024, 'y')};
  for (const std::string& locale : locales) {
    const ProcessResult result = runVornSpeech({"-i", path, "-l", locale});
    expectClean(result, Outcome::kEither, "locale of " + std::to_string(locale.size()) + " bytes");
  }
}

TEST(HostileLocaleTest, EnglishLocaleWithInvalidBytesIsWrittenAsValidUtf8) {
  TempDir dir;
  const std::string path = dir.write("empty.wav", Wav{}.bytes());
  const ProcessResult result = runVornSpeech({"-i", path, "-l", "en-\xFF"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "{\"locale\":\"en-\xEF\xBF\xBD\",\"segments\":[]}\n");
}

TEST(HostileObjectTest, NonRegularFilesFailPromptly) {
  TempDir dir;
  const std::string fifo = dir.path() + "/pipe.wav";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // A FIFO with no writer would block an open() forever; a device would
  // never end.
  for (const std::string& path : {dir.path(), fifo, std::string("/dev/zero"), std::string("/dev/null")}) {
    const ProcessResult result = runVornSpeech({"-i", path});
    expectClean(result, Outcome::kError, path);
  }
}

TEST(ConcurrentRunsTest, SeveralProcessesGiveTheSameBytesAsOneAlone) {
  const std::string sample = std::string(VORN_SOURCE_DIR) + "/samples/sense-and-sensibility.flac";
  const ProcessResult alone = runVornSpeech({"-i", sample});
  ASSERT_EQ(alone.status, 0) << alone.err;
  std::vector<std::future<ProcessResult>> runs;
  for (int k = 0; k < 3; ++k) {
    runs.push_back(std::async(std::launch::async, [&] { return runVornSpeech({"-i", sample}); }));
  }
  for (auto& run : runs) {
    const ProcessResult result = run.get();
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, alone.out);
  }
}

}  // namespace
}  // namespace vorn
