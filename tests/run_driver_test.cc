#include "run_driver.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>

#include "platform/error.h"

namespace vorn {
namespace {

std::string contents(std::FILE* file) {
  std::rewind(file);
  std::string text;
  char buffer[256];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
  return text;
}

TEST(RunDriverTest, PrintsTheTextOnceWithANewlineAndReturnsZero) {
  RunLoop mainLoop;
  const FileURL url = FileURL::fromPath("/audio/a.wav");
  const std::string locale = "de-DE";
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  const auto mainThread = std::this_thread::get_id();
  int calls = 0;

  const int status = runTranscriptionDriver(
      mainLoop, url, locale,
      [&](const FileURL& audioURL, const std::string& localeId) {
        ++calls;
        EXPECT_NE(std::this_thread::get_id(), mainThread);  // off the main thread
        EXPECT_EQ(audioURL.path(), "/audio/a.wav");
        EXPECT_EQ(localeId, "de-DE");
        return std::string("{\"x\":1}\n{\"y\":2}");  // printed unchanged, newlines and all
      },
      {out, err});

  EXPECT_EQ(status, 0);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(contents(out), "{\"x\":1}\n{\"y\":2}\n");
  EXPECT_EQ(contents(err), "");
  std::fclose(out);
  std::fclose(err);
}

TEST(RunDriverTest, MainLoopKeepsTurningWhileTheTranscriptionRuns) {
  RunLoop mainLoop;
  const FileURL url;
  const std::string locale;
  std::FILE* out = std::tmpfile();
  std::atomic<bool> mainThreadRanAJob{false};
  runTranscriptionDriver(
      mainLoop, url, locale,
      [&](const FileURL&, const std::string&) {
        // Only a turning main loop can run this job, and the transcription
        // waits for it.
        mainLoop.post([&] { mainThreadRanAJob = true; });
        while (!mainThreadRanAJob) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return std::string("done");
      },
      {out, stderr});
  EXPECT_TRUE(mainThreadRanAJob);
  std::fclose(out);
}

// The failure paths end the process, so they run in a child.
using RunDriverDeathTest = ::testing::Test;

void drive(Transcribe transcribe, DriverStreams streams = {}) {
  RunLoop mainLoop;
  const FileURL url;
  const std::string locale;
  runTranscriptionDriver(mainLoop, url, locale, std::move(transcribe), streams);
}

Transcribe failingWith(std::string description) {
  return [description](const FileURL&, const std::string&) -> std::string { throw Error(description); };
}

TEST_F(RunDriverDeathTest, TranscriptionErrorIsOneLineAndStatusOne) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(drive(failingWith("the engine failed")), ::testing::ExitedWithCode(1),
              "^Error: the engine failed\n$");
}

TEST_F(RunDriverDeathTest, EmptyDescriptionGivesBareErrorLine) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(drive(failingWith("")), ::testing::ExitedWithCode(1), "^Error: \n$");
}

TEST_F(RunDriverDeathTest, UnwritableOutputIsAFailureNotASuccess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const auto writeToFullDisk = [] {
    drive([](const FileURL&, const std::string&) { return std::string("{}"); },
          {std::fopen("/dev/full", "w"), stderr});
  };
  EXPECT_EXIT(writeToFullDisk(), ::testing::ExitedWithCode(1),
              "^Error: cannot write the result to standard output: No space left on device\n$");
}

}  // namespace
}  // namespace vorn
