#include "transcription/transcription_run.h"

#include <gtest/gtest.h>

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
