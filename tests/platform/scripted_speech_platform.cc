#include "platform/scripted_speech_platform.h"

namespace vorn::testing {

namespace {

class SilentAudioFile : public AudioFile {
 public:
  explicit SilentAudioFile(std::optional<CMTime> duration) : duration_(duration) {}
  std::size_t read(std::span<float>) override { return 0; }
  std::optional<CMTime> duration() const override { return duration_; }

 private:
  std::optional<CMTime> duration_;
};

class ScriptedAnalyzer : public SpeechAnalyzer {
 public:
  ScriptedAnalyzer(std::shared_ptr<SpeechTranscriber> transcriber, const EngineScript& script, EngineLog& log)
      : transcriber_(std::move(transcriber)), script_(script), log_(log) {}

  std::optional<CMTime> analyzeSequence(AudioFile&) override {
    ++log_.analyzed;
    for (const SpeechTranscriberResult& result : script_.results) transcriber_->results().publish(result);
    for (const CMTime through : script_.progress) reportProgress(through);
    if (script_.sequenceError) transcriber_->results().fail(*script_.sequenceError);
    if (script_.analysisError) throw *script_.analysisError;
    if (!script_.lastSampleTime) transcriber_->results().finish();
    return script_.lastSampleTime;
  }

  void finalizeAndFinish(CMTime through) override {
    ++log_.finalized;
    log_.finalizedThrough = through;
    if (script_.finalizeError) throw *script_.finalizeError;
    transcriber_->results().finish();
  }

 private:
  std::shared_ptr<SpeechTranscriber> transcriber_;
  const EngineScript& script_;
  EngineLog& log_;
};

}  // namespace

std::unique_ptr<SpeechAnalyzer> ScriptedSpeechPlatform::makeAnalyzer(
    std::shared_ptr<SpeechTranscriber> transcriber) {
  log_.locale = transcriber->locale().identifier;
  log_.audioTimeRangeAsked = transcriber->attributeOptions().audioTimeRange;
  return std::make_unique<ScriptedAnalyzer>(std::move(transcriber), script_, log_);
}

std::unique_ptr<AudioFile> ScriptedSpeechPlatform::openAudioFile(const FileURL&) {
  ++log_.opened;
  if (script_.openError) throw *script_.openError;
  return std::make_unique<SilentAudioFile>(script_.duration);
}

SpeechTranscriberResult makeResult(bool isFinal, const std::vector<RunSpec>& runs) {
  SpeechTranscriberResult result;
  result.isFinal = isFinal;
  for (const auto& [text, hundredths] : runs) {
    AttributeContainer attributes;
    if (hundredths) {
      attributes.audioTimeRange = CMTimeRange{{hundredths->first, 100}, {hundredths->second, 100}};
    }
    result.text.append(text, attributes);
  }
  return result;
}

}  // namespace vorn::testing
