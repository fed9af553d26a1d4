#include "platform/device_speech_platform.h"

#include <utility>

#include "platform/engines/engine_analyzer.h"
#include "platform/error.h"
#include "platform/audio/ffmpeg_audio_file.h"
#include "platform/engines/pocketsphinx/telephone_channel.h"
#include "text/utf8.h"

namespace vorn {
namespace {

// Stands in for an engine when none serves the locale, so that the failure
// takes the normal error route when analysis starts.
class UnsupportedLocaleAnalyzer : public SpeechAnalyzer {
 public:
  explicit UnsupportedLocaleAnalyzer(std::shared_ptr<SpeechTranscriber> transcriber)
      : transcriber_(std::move(transcriber)) {}

  std::optional<CMTime> analyzeSequence(AudioFile& /*file*/) override {
    // The locale is as the user typed it: quoted so that the message stays
    // one line whatever it holds.
    throw Error("no speech engine on this device supports the locale \"" +
                printableInLine(transcriber_->locale().identifier) + "\"");
  }

  void finalizeAndFinish(CMTime /*through*/) override { transcriber_->results().finish(); }

 private:
  std::shared_ptr<SpeechTranscriber> transcriber_;
};

bool equalsIgnoringAsciiCase(std::string_view text, std::string_view lowercase) {
  if (text.size() != lowercase.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    if (lower != lowercase[i]) return false;
  }
  return true;
}

}  // namespace

bool DeviceSpeechPlatform::isEnglish(std::string_view identifier) {
  return equalsIgnoringAsciiCase(identifier.substr(0, identifier.find_first_of("-_")), "en");
}

std::unique_ptr<SpeechAnalyzer> DeviceSpeechPlatform::makeAnalyzer(
    std::shared_ptr<SpeechTranscriber> transcriber) {
  if (!isEnglish(transcriber->locale().identifier)) {
    return std::make_unique<UnsupportedLocaleAnalyzer>(std::move(transcriber));
  }
  return std::make_unique<EngineAnalyzer>(std::move(transcriber), makePocketsphinxRecognizer);
}

std::unique_ptr<AudioFile> DeviceSpeechPlatform::openAudioFile(const FileURL& url) {
  return FfmpegAudioFile::open(url);
}

}  // namespace vorn
