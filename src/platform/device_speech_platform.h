#ifndef VORN_PLATFORM_DEVICE_SPEECH_PLATFORM_H_
#define VORN_PLATFORM_DEVICE_SPEECH_PLATFORM_H_

// The real platform: the speech engines installed on this device and the
// FFmpeg file reader.

#include <filesystem>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/engines/engine_analyzer.h"
#include "platform/speech_engine.h"

namespace vorn {

class DeviceSpeechPlatform : public SpeechPlatform {
 public:
  // Models are looked for in `modelFolders`, in order (by default the
  // folders beside the executable: modelFolders()). `decoders`: how
  // many utterances pocketsphinx may decode at once, at most (one per core
  // by default; the benchmark forces other counts); fewer run when memory
  // would not hold that many models.
  DeviceSpeechPlatform();
  explicit DeviceSpeechPlatform(std::vector<std::filesystem::path> modelFolders,
                                int decoders = EngineAnalyzer::defaultDecoderCount());

  // An analyzer for the transcriber's locale, from the engine that
  // chooseEngine picks among the installed whisper models and pocketsphinx
  // with its US-English model (engine_choice.h). The model loads when
  // analysis starts. When nothing
  // serves the locale, or the chosen model cannot be used, the analyzer's
  // analyzeSequence throws vorn::Error saying so.
  std::unique_ptr<SpeechAnalyzer> makeAnalyzer(
      std::shared_ptr<SpeechTranscriber> transcriber) override;

  // FfmpegAudioFile::open(url).
  std::unique_ptr<AudioFile> openAudioFile(const FileURL& url) override;

  // Whether `identifier` names English: its language subtag, the part before
  // the first '-' or '_', is "en" in any case.
  static bool isEnglish(std::string_view identifier);

 private:
  std::vector<std::filesystem::path> modelFolders_;
  int decoders_;
};

}  // namespace vorn

#endif  // VORN_PLATFORM_DEVICE_SPEECH_PLATFORM_H_
