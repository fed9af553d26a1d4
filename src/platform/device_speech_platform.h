#ifndef VORN_PLATFORM_DEVICE_SPEECH_PLATFORM_H_
#define VORN_PLATFORM_DEVICE_SPEECH_PLATFORM_H_

// The real platform: the speech engines installed on this device and the
// FFmpeg file reader.

#include <memory>
#include <string_view>

#include "platform/speech_engine.h"

namespace vorn {

class DeviceSpeechPlatform : public SpeechPlatform {
 public:
  // An analyzer for the transcriber's locale. English (any identifier whose
  // language subtag is "en", in any case: "en", "en-US", "en_GB",
  // "EN-us"...) is served by pocketsphinx with its US-English model, loaded
  // when analysis starts, adapted to the telephone channel for files stored
  // at telephone rates (see telephone_channel.h). Any other locale gets an analyzer whose
  // analyzeSequence throws vorn::Error naming the locale.
  std::unique_ptr<SpeechAnalyzer> makeAnalyzer(
      std::shared_ptr<SpeechTranscriber> transcriber) override;

  // FfmpegAudioFile::open(url).
  std::unique_ptr<AudioFile> openAudioFile(const FileURL& url) override;

  // Whether `identifier` names English: its language subtag, the part before
  // the first '-' or '_', is "en" in any case.
  static bool isEnglish(std::string_view identifier);
};

}  // namespace vorn

#endif  // VORN_PLATFORM_DEVICE_SPEECH_PLATFORM_H_
