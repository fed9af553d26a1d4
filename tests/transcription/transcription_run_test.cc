#include "transcription/transcription_run.h"

#include <gtest/gtest.h>

#include <chrono>
#include <utility>
#include <vector>

#include "platform/scripted_speech_platform.h"

#include "support/test_support.h"

namespace vorn {
namespace {

using testing::EngineScript;
using testing::makeResult;
using testing::ScriptedSpeechPlatform;

const FileURL kAudio = FileURL::fromPath("/audio/meeting.m4a");

std::vector<SpeechTranscriberResult> twoFinalResults() {
  return {makeResult(true, {{"hello", std::pair{50, 175}}, {" there", std::pair{225, 50}}}),
          makeResult(false, {{"draft", std::pair{0, 1}}}),
          makeResult(true, {{" world", std::pair{250, 225}}})};
}

// Runs and returns the error's description, failing the test on success.
std::string errorOf(ScriptedSpeechPlatform& platform, const std::string& locale = "en-US") {
  try {
    const std::string text = runTranscription(kAudio, locale, platform);
    ADD_FAILURE() << "no error; got " << text;
  } catch (const Error& error) {
    return error.localizedDescription();
  }
  return {};
}

TEST(RunTranscriptionTest, SuccessGivesTheDocumentWithTheLocaleAsPassed) {
  EngineScript script;
  script.results = twoFinalResults();
  ScriptedSpeechPlatform platform(script);
  EXPECT_EQ(runTranscription(kAudio, "en_us", platform),
            R"({"locale":"en_us","segments":[{"end":2.25,"start":0.5,"text":"hello"},)"
            R"({"end":2.75,"start":2.25,"text":"there"},{"end":4.75,"start":2.5,"text":"world"}]})");
  EXPECT_EQ(platform.log().locale, "en_us");
  EXPECT_TRUE(platform.log().audioTimeRangeAsked);
  EXPECT_EQ(platform.log().finalized, 1);
  ASSERT_TRUE(platform.log().finalizedThrough);
  EXPECT_EQ(platform.log().finalizedThrough->value, 48000);  // passed on unchanged
  EXPECT_EQ(platform.log().finalizedThrough->timescale, 16000);
}

TEST(RunTranscriptionTest, EmptySequenceGivesEmptySegments) {
  ScriptedSpeechPlatform platform(EngineScript{});
  EXPECT_EQ(runTranscription(kAudio, "en-US", platform), R"({"locale":"en-US","segments":[]})");
}

TEST(RunTranscriptionTest, NoLastSampleTimeSkipsFinalisation) {
  EngineScript script;
  script.results = twoFinalResults();
  script.lastSampleTime.reset();
  ScriptedSpeechPlatform platform(script);
  const std::string document = runTranscription(kAudio, "en-US", platform);
  EXPECT_NE(document.find("\"world\""), std::string::npos);
  EXPECT_EQ(platform.log().finalized, 0);
}

TEST(RunTranscriptionTest, OpeningErrorStartsNothing) {
  EngineScript script;
  script.openError = Error("cannot read audio from /audio/meeting.m4a: not audio");
  ScriptedSpeechPlatform platform(script);
  EXPECT_EQ(errorOf(platform), "cannot read audio from /audio/meeting.m4a: not audio");
  EXPECT_EQ(platform.log().opened, 1);
  EXPECT_EQ(platform.log().analyzed, 0);
}

// What a progress meter told, on a clock that moves a second per reading so
// that nothing is held back, and how many finalisations had happened when
// it told 100.
struct ProgressLog {
  std::vector<int> told;
  int finalizedAtHundred = -1;
};

TEST(RunTranscriptionTest, ProgressRunsFromTheOpenFileToTheDocument) {
  EngineScript script;
  script.results = twoFinalResults();
  script.duration = CMTime{100 * 16000, 16000};
  script.progress = {CMTime{25 * 16000, 16000}, CMTime{50, 1}, CMTime{75 * 16000, 16000}};
  ScriptedSpeechPlatform platform(script);
  ProgressLog log;
  ProgressMeter::Clock::time_point now{};
  ProgressMeter meter(
      [&](int percent) {
        log.told.push_back(percent);
        if (percent == 100) log.finalizedAtHundred = platform.log().finalized;
      },
      [&now] { return now += std::chrono::seconds(1); });

  const std::string document = runTranscription(kAudio, "en-US", platform, &meter);

  EXPECT_NE(document.find("\"world\""), std::string::npos);
  EXPECT_EQ(log.told, (std::vector<int>{0, 25, 50, 75, 100}));
  EXPECT_EQ(log.finalizedAtHundred, 1);
}

TEST(RunTranscriptionTest, AFailedRunNeverTellsHundred) {
  EngineScript opening;
  opening.openError = Error("cannot read audio from /audio/meeting.m4a: not audio");
  EngineScript analysis;
  analysis.duration = CMTime{100, 1};
  analysis.progress = {CMTime{40, 1}};
  analysis.analysisError = Error("analysis failed");
  const std::pair<EngineScript, std::vector<int>> cases[] = {{opening, {}}, {analysis, {0, 40}}};
  for (const auto& [script, expected] : cases) {
    ScriptedSpeechPlatform platform(script);
    std::vector<int> told;
    ProgressMeter::Clock::time_point now{};
    ProgressMeter meter([&told](int percent) { told.push_back(percent); },
                        [&now] { return now += std::chrono::seconds(1); });
    EXPECT_THROW(runTranscription(kAudio, "en-US", platform, &meter), Error);
    EXPECT_EQ(told, expected);
  }
}

// The failures that leave a run, and which one wins when several happen.
struct FailureCase {
  const char* name;
  EngineScript script;
  std::string error;
  int finalized;
};

class RunFailureTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(RunFailureTest, ExactlyOneErrorLeavesUnchanged) {
  ScriptedSpeechPlatform platform(GetParam().script);
  EXPECT_EQ(errorOf(platform), GetParam().error);
  EXPECT_EQ(platform.log().analyzed, 1);
  EXPECT_EQ(platform.log().finalized, GetParam().finalized);
}

EngineScript scriptWith(void (*change)(EngineScript&)) {
  EngineScript script;
  script.results = twoFinalResults();
  change(script);
  return script;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RunFailureTest,
    ::testing::Values(
        // The collector is left waiting on an unfinished sequence: only the
        // cancellation can end it, so a missing cancel hangs this test.
        FailureCase{"AnalysisFailsAfterFinalResults",
                    scriptWith([](EngineScript& s) { s.analysisError = Error("analysis failed"); }),
                    "analysis failed", 0},
        FailureCase{"FinalisationFails",
                    scriptWith([](EngineScript& s) { s.finalizeError = Error("finalisation failed"); }),
                    "finalisation failed", 1},
        // Analysis and finalisation still run to their end.
        FailureCase{"SequenceFails",
                    scriptWith([](EngineScript& s) { s.sequenceError = Error("results failed"); }),
                    "results failed", 1},
        FailureCase{"AnalysisErrorWinsOverSequenceError",
                    scriptWith([](EngineScript& s) {
                      s.sequenceError = Error("results failed");
                      s.analysisError = Error("analysis failed");
                    }),
                    "analysis failed", 0},
        FailureCase{"EmptyDescriptionTravelsAsIs",
                    scriptWith([](EngineScript& s) { s.analysisError = Error(""); }), "", 0}),
    testing::CaseName());

}  // namespace
}  // namespace vorn
