#include "platform/device_speech_platform.h"

#include <utility>

#include "platform/audio/ffmpeg_audio_file.h"
#include "platform/engines/engine_analyzer.h"
#include "platform/engines/setup/engine_choice.h"
#include "platform/engines/setup/model_folders.h"
#include "platform/error.h"

namespace vorn {
namespace {

// Stands in for an engine when none can serve, so that the failure takes
// the normal error route when analysis starts.
class FailingAnalyzer : public SpeechAnalyzer {
 public:
  FailingAnalyzer(std::shared_ptr<SpeechTranscriber> transcriber, std::string problem)
      : transcriber_(std::move(transcriber)), problem_(std::move(problem)) {}

  std::optional<CMTime> analyzeSequence(AudioFile& /*file*/) override { throw Error(problem_); }

  void finalizeAndFinish(CMTime /*through*/) override { transcriber_->results().finish(); }

 private:
  std::shared_ptr<SpeechTranscriber> transcriber_;
  std::string problem_;
};

}  // namespace

DeviceSpeechPlatform::DeviceSpeechPlatform() : DeviceSpeechPlatform(modelFolders()) {}

DeviceSpeechPlatform::DeviceSpeechPlatform(std::vector<std::filesystem::path> modelFolders,
                                           int decoders)
    : modelFolders_(std::move(modelFolders)), decoders_(decoders) {}

bool DeviceSpeechPlatform::isEnglish(std::string_view identifier) {
  return languageSubtag(identifier) == "en";
}

std::unique_ptr<SpeechAnalyzer> DeviceSpeechPlatform::makeAnalyzer(
    std::shared_ptr<SpeechTranscriber> transcriber) {
  EngineChoice choice = chooseEngine(transcriber->locale().identifier, modelFolders_);
  if (choice.engine == EngineChoice::Engine::kNone) {
    return std::make_unique<FailingAnalyzer>(std::move(transcriber), std::move(choice.problem));
  }
  return makeChosenAnalyzer(choice, std::move(transcriber), modelFolders_, decoders_);
}

std::unique_ptr<AudioFile> DeviceSpeechPlatform::openAudioFile(const FileURL& url) {
  return FfmpegAudioFile::open(url);
}

}  // namespace vorn
