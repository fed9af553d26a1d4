#ifndef VORN_TESTS_PLATFORM_SCRIPTED_SPEECH_PLATFORM_H_
#define VORN_TESTS_PLATFORM_SCRIPTED_SPEECH_PLATFORM_H_

#include <atomic>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/speech_engine.h"

namespace vorn::testing {

// A speech platform that plays a script instead of recognising speech: the
// test double beside the real engines, for the paths a real recording cannot
// take (non-final results, failures at each step, no last-sample time).
struct EngineScript {
  std::optional<Error> openError;       // openAudioFile throws this
  std::optional<CMTime> duration;       // the opened file states this length
  std::vector<CMTime> progress;         // reported during analysis, after the results
  std::vector<SpeechTranscriberResult> results;  // published during analysis
  std::optional<Error> sequenceError;   // then the results fail with this
  std::optional<Error> analysisError;   // then analyzeSequence throws this
  // Returned by analyzeSequence; without one the analyzer ends the results
  // itself, as the contract asks.
  std::optional<CMTime> lastSampleTime = CMTime{48000, 16000};
  std::optional<Error> finalizeError;   // finalizeAndFinish throws this
};

// What the run did with the platform, for the tests to check.
struct EngineLog {
  std::atomic<int> opened{0};
  std::atomic<int> analyzed{0};
  std::atomic<int> finalized{0};
  std::optional<CMTime> finalizedThrough;
  std::string locale;
  bool audioTimeRangeAsked = false;
};

class ScriptedSpeechPlatform : public SpeechPlatform {
 public:
  explicit ScriptedSpeechPlatform(EngineScript script) : script_(std::move(script)) {}

  std::unique_ptr<SpeechAnalyzer> makeAnalyzer(std::shared_ptr<SpeechTranscriber> transcriber) override;
  std::unique_ptr<AudioFile> openAudioFile(const FileURL& url) override;

  const EngineLog& log() const { return log_; }

 private:
  EngineScript script_;
  EngineLog log_;
};

// A result whose runs are the given texts, each with the time range
// (start and duration in hundredths of a second) when one is given.
using RunSpec = std::pair<std::string, std::optional<std::pair<int, int>>>;
SpeechTranscriberResult makeResult(bool isFinal, const std::vector<RunSpec>& runs);

}  // namespace vorn::testing

#endif  // VORN_TESTS_PLATFORM_SCRIPTED_SPEECH_PLATFORM_H_
