#include "platform/device_speech_platform.h"

#include <algorithm>
#include <thread>
#include <utility>

#include "platform/audio/ffmpeg_audio_file.h"
#include "platform/engines/decoder_budget.h"
#include "platform/engines/engine_analyzer.h"
#include "platform/engines/engine_choice.h"
#include "platform/engines/model_locations.h"
#include "platform/engines/pocketsphinx/pocketsphinx_recognizer.h"
#include "platform/engines/pocketsphinx/telephone_channel.h"
#include "platform/engines/sentence_formatter.h"
#include "platform/engines/whisper/whisper_recognizer.h"
#include "platform/error.h"

namespace vorn {
namespace {

// whisper's window: it encodes 30 seconds of audio whatever it is given.
constexpr std::size_t kWhisperWindowSamples = 30 * AudioFile::kSampleRate;

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

DeviceSpeechPlatform::DeviceSpeechPlatform() : DeviceSpeechPlatform(modelDirectories()) {}

DeviceSpeechPlatform::DeviceSpeechPlatform(std::vector<std::filesystem::path> modelDirectories,
                                           int decoders)
    : modelDirectories_(std::move(modelDirectories)), decoders_(decoders) {}

bool DeviceSpeechPlatform::isEnglish(std::string_view identifier) {
  return languageSubtag(identifier) == "en";
}

std::unique_ptr<SpeechAnalyzer> DeviceSpeechPlatform::makeAnalyzer(
    std::shared_ptr<SpeechTranscriber> transcriber) {
  EngineChoice choice =
      chooseEngine(transcriber->locale().identifier, findWhisperModels(modelDirectories_));
  switch (choice.engine) {
    case EngineChoice::Engine::kWhisper: {
      // One decoder using every core: a whisper model takes hundreds of
      // megabytes in use, and its matrix products spread over the cores.
      const int threads = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
      return std::make_unique<EngineAnalyzer>(
          std::move(transcriber),
          [model = *choice.whisperModel, language = choice.language,
           threads](const AudioTraits& /*traits*/) {
            return std::make_unique<WhisperRecognizer>(model, language, threads);
          },
          1, kWhisperWindowSamples);
    }
    case EngineChoice::Engine::kPocketsphinx:
      return std::make_unique<EngineAnalyzer>(
          std::move(transcriber),
          [recognizer = PocketsphinxRecognizer::factory(
               pocketsphinxModelDirectory(modelDirectories_).string(),
               telephoneTransformPath(modelDirectories_))](const AudioTraits& traits) {
            // The engine writes bare lower-case words; whisper writes its own
            // case and punctuation.
            return std::make_unique<SentenceFormatter>(recognizer(traits));
          },
          decodersThatFit(decoders_, PocketsphinxRecognizer::kCost, measureMemoryRoom()));
    case EngineChoice::Engine::kNone:
      break;
  }
  return std::make_unique<FailingAnalyzer>(std::move(transcriber), std::move(choice.problem));
}

std::unique_ptr<AudioFile> DeviceSpeechPlatform::openAudioFile(const FileURL& url) {
  return FfmpegAudioFile::open(url);
}

}  // namespace vorn
