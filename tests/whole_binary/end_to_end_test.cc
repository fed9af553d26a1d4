// The tool as the desktop application runs it: the built binary, a real
// recording, the real engine.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace vorn {
namespace {

using testing::ProcessOptions;
using testing::ProcessResult;
using testing::runVornSpeech;
using testing::TempDir;

const std::string kSample = std::string(VORN_SOURCE_DIR) + "/samples/sense-and-sensibility.flac";

// A 16-bit mono PCM WAV file holding `samples`.
std::string wavFile(const std::string& samples, std::uint32_t rate = 16000) {
  const auto u32 = [](std::uint32_t v) {
    return std::string{char(v & 0xFF), char((v >> 8) & 0xFF), char((v >> 16) & 0xFF), char(v >> 24)};
  };
  const auto u16 = [](std::uint16_t v) { return std::string{char(v & 0xFF), char(v >> 8)}; };
  const auto size = static_cast<std::uint32_t>(samples.size());
  return "RIFF" + u32(36 + size) + "WAVEfmt " + u32(16) + u16(1) + u16(1) + u32(rate) + u32(rate * 2) + u16(2) +
         u16(16) + "data" + u32(size) + samples;
}

// `samples` (as the reader delivers them) as 16-bit little-endian PCM.
std::string pcm16(const std::vector<float>& samples) {
  std::string pcm;
  pcm.reserve(2 * samples.size());
  for (const float sample : samples) {
    const auto value = static_cast<std::int16_t>(std::clamp(std::lround(sample * 32768.0f), -32768L, 32767L));
    pcm += {char(value & 0xFF), char((value >> 8) & 0xFF)};
  }
  return pcm;
}

TEST(EndToEndTest, TranscribesTheShippedSample) {
  const ProcessResult result = runVornSpeech({"--input", kSample});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, "");
  ASSERT_FALSE(result.out.empty());
  EXPECT_EQ(result.out.find('\n'), result.out.size() - 1);  // one line
  EXPECT_EQ(result.out.rfind(R"({"locale":"en-US","segments":[{"end":)", 0), 0u) << result.out;
  // "And Mr. John Dashwood had then leisure to consider how much there might
  // be prudently in his power to do for them." The engine's words come out
  // formatted: the honorific and the name as printed, a capital to start the
  // sentence, a full stop to end it.
  for (const char* word : {"\"Mr.\"", "\"John\"", "\"Dashwood\"", "\"consider\"", "\"power\""}) {
    EXPECT_NE(result.out.find(word), std::string::npos) << word << " in " << result.out;
  }
  const std::size_t firstText = result.out.find("\"text\":\"");
  ASSERT_NE(firstText, std::string::npos) << result.out;
  const char firstLetter = result.out[firstText + 8];
  EXPECT_TRUE(firstLetter >= 'A' && firstLetter <= 'Z') << result.out;
  EXPECT_NE(result.out.find(".\"}]}"), std::string::npos) << result.out;  // the last word
}

// With --progress, the same document, with progress told as the speech is
// decoded: a recording of the sample four times over, a second apart, is
// told in steps between 0 and 100.
TEST(EndToEndTest, ProgressIsToldBeforeTheSameDocument) {
  const std::string sample = pcm16(testing::readAllSamples(kSample));
  std::string pcm;
  for (int copy = 0; copy < 4; ++copy) pcm += std::string(2 * 16000, '\0') + sample;
  TempDir dir;
  const std::string path = dir.write("four_times.wav", wavFile(pcm));
  ProcessOptions merged;
  merged.errorIntoOutput = true;

  const ProcessResult plain = runVornSpeech({"--input", path});
  const ProcessResult withProgress = runVornSpeech({"--progress", "--input", path}, merged);

  ASSERT_EQ(plain.status, 0) << plain.err;
  EXPECT_EQ(plain.err, "");  // nothing without the flag
  ASSERT_EQ(withProgress.status, 0) << withProgress.out;
  const std::vector<int> percents = testing::expectProgressThenDocument(withProgress.out);
  EXPECT_GE(percents.size(), 3u) << withProgress.out;
  EXPECT_TRUE(withProgress.out.ends_with("\n" + plain.out)) << withProgress.out;
}

// A failure after some progress still ends in one "Error: " line, and
// nothing reaches standard output.
TEST(EndToEndTest, AFailureAfterProgressEndsInOneErrorLine) {
  const ProcessResult result =
      runVornSpeech({"--input", testing::fixture("audio/corrupt_midway.flac"), "--progress"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "");
  ASSERT_TRUE(result.err.starts_with("Progress: 0%\n")) << result.err;
  const std::size_t lastLine = result.err.rfind('\n', result.err.size() - 2) + 1;
  EXPECT_EQ(result.err.find("Error: "), lastLine) << result.err;
  EXPECT_EQ(result.err.find("Progress: 100%"), std::string::npos) << result.err;
}

// A call stored at 8 kHz and the same call resampled to 16 kHz (the
// samples the reader makes of it, written to a WAV file) are decoded alike:
// the second is told by its spectrum, not its sample rate.
TEST(EndToEndTest, ResampledTelephoneAudioIsDecodedAsTelephoneAudio) {
  const std::string call = testing::fixture("audio/speech_8k.gsm");
  TempDir dir;
  const std::string resampled = dir.write("call_16k.wav", wavFile(pcm16(testing::readAllSamples(call))));

  const ProcessResult atEight = runVornSpeech({"--input", call});
  const ProcessResult atSixteen = runVornSpeech({"--input", resampled});
  ASSERT_EQ(atEight.status, 0) << atEight.err;
  ASSERT_EQ(atSixteen.status, 0) << atSixteen.err;
  // The call is recognised, not merely decoded: a run of the sample's words.
  for (const char* word : {"leisure", "consider", "how", "much", "there", "might"}) {
    EXPECT_NE(atEight.out.find(std::string(R"("text":")") + word + '"'), std::string::npos)
        << word << " in " << atEight.out;
  }
  EXPECT_EQ(atSixteen.out, atEight.out);
}

TEST(EndToEndTest, EnglishLocaleIsKeptAsTyped) {
  const ProcessResult result = runVornSpeech({"-l", "en_GB", "-i", kSample});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out.rfind(R"({"locale":"en_GB","segments":[{)", 0), 0u) << result.out;
}

TEST(EndToEndTest, FileWithoutSamplesGivesEmptySegments) {
  TempDir dir;
  const std::string path = dir.write("empty.wav", wavFile(""));
  const ProcessResult result = runVornSpeech({"--input", path, "--locale", "en-US"});
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.out, "{\"locale\":\"en-US\",\"segments\":[]}\n");
  EXPECT_EQ(result.status, 0);
}

struct FailureCase {
  const char* name;
  std::string fileName;
  std::string contents;
  std::string locale;
  std::string mentions;  // a part of the error line
};

class EndToEndFailureTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(EndToEndFailureTest, OneErrorLineNothingOnStandardOutput) {
  const FailureCase& c = GetParam();
  TempDir dir;
  const std::string path = dir.write(c.fileName, c.contents);
  const ProcessResult result = runVornSpeech({"-i", path, "-l", c.locale});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err.rfind("Error: ", 0), 0u) << result.err;
  EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << result.err;
  EXPECT_NE(result.err.find(c.mentions), std::string::npos) << result.err;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EndToEndFailureTest,
    ::testing::Values(
        FailureCase{"TextRenamedToAudio", "notes.wav", "just some text, not audio\n", "en-US", "notes.wav"},
        FailureCase{"EmptyFile", "zero.mp3", "", "en-US", "zero.mp3"},
        FailureCase{"UnsupportedLocale", "tone.wav", wavFile(std::string(3200, '\0')), "fr-FR", "\"fr-FR\""}),
    testing::CaseName());

TEST(EndToEndTest, DirectoryPassesTheExistenceTestThenFails) {
  TempDir dir;
  const ProcessResult result = runVornSpeech({"-i", dir.path()});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err.rfind("Error: ", 0), 0u) << result.err;
  EXPECT_EQ(result.err.find("file not found"), std::string::npos) << result.err;
}

TEST(EndToEndTest, UnwritableStandardOutputIsAnError) {
  TempDir dir;
  const std::string path = dir.write("empty.wav", wavFile(""));
  for (const std::string stdoutPath : {"/dev/full", ""}) {
    ProcessOptions options;
    options.stdoutPath = stdoutPath;  // full disk; closed stream
    const ProcessResult result = runVornSpeech({"-i", path}, options);
    EXPECT_EQ(result.status, 1) << stdoutPath;
    EXPECT_EQ(result.err.rfind("Error: cannot write the result to standard output", 0), 0u) << result.err;
  }
}

}  // namespace
}  // namespace vorn
