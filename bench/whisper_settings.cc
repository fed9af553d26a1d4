// Transcribes files with the whisper engine under settings other than the
// tool's, for measuring the tool's choices against the alternatives
// (bench/trained_whisper_benchmark.sh): how words are timed, the silence
// between packed utterances, whether a window gets the text before it, and
// flash attention off everywhere.
//
// Usage: whisper_settings MODEL OUT_DIR [--times alignment|unfitted|tokens]
//          [--gap SECONDS] [--context] [--no-flash-attention] FILE...
// Writes each file's document (the tool's JSON, locale en-US) to
// OUT_DIR/<file name>.json, or its error to standard error.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/audio/ffmpeg_audio_file.h"
#include "platform/engines/whisper/whisper_engine.h"
#include "platform/error.h"
#include "platform/file_url.h"
#include "transcription/transcription_run.h"

namespace {

class SettingsPlatform : public vorn::SpeechPlatform {
 public:
  SettingsPlatform(vorn::WhisperModelInfo model, vorn::WhisperEngineSettings settings)
      : model_(std::move(model)), settings_(settings) {}

  std::unique_ptr<vorn::SpeechAnalyzer> makeAnalyzer(
      std::shared_ptr<vorn::SpeechTranscriber> transcriber) override {
    return vorn::makeWhisperAnalyzer(std::move(transcriber), model_, "en", settings_);
  }

  std::unique_ptr<vorn::AudioFile> openAudioFile(const vorn::FileURL& url) override {
    return vorn::FfmpegAudioFile::open(url);
  }

 private:
  vorn::WhisperModelInfo model_;
  vorn::WhisperEngineSettings settings_;
};

int usage() {
  std::fputs("usage: whisper_settings MODEL OUT_DIR [--times alignment|unfitted|tokens] "
             "[--gap SECONDS] [--context] [--no-flash-attention] FILE...\n", stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) return usage();
  vorn::WhisperEngineSettings settings;
  using Times = vorn::WhisperDecoding::WordTimes;
  std::vector<std::string> files;
  for (int i = 3; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--times" && i + 1 < argc) {
      const std::string value = argv[++i];
      if (value == "alignment") settings.decoding.wordTimes = Times::kAlignment;
      else if (value == "unfitted") settings.decoding.wordTimes = Times::kAlignmentUnfitted;
      else if (value == "tokens") settings.decoding.wordTimes = Times::kTokenTimestamps;
      else return usage();
    } else if (arg == "--gap" && i + 1 < argc) {
      settings.joinGapSamples =
          static_cast<std::size_t>(std::atof(argv[++i]) * vorn::AudioFile::kSampleRate);
    } else if (arg == "--context") {
      settings.decoding.earlierTextAsContext = true;
    } else if (arg == "--no-flash-attention") {
      settings.decoding.flashAttention = false;
    } else {
      files.push_back(arg);
    }
  }
  int status = 0;
  try {
    SettingsPlatform platform(vorn::inspectWhisperModel(argv[1]), settings);
    for (const std::string& file : files) {
      try {
        const std::string document = vorn::runTranscription(vorn::FileURL::fromPath(file), "en-US", platform);
        std::ofstream(std::filesystem::path(argv[2]) / (std::filesystem::path(file).filename().string() + ".json"))
            << document << '\n';
      } catch (const vorn::Error& error) {
        std::fprintf(stderr, "%s: Error: %s\n", file.c_str(), error.localizedDescription().c_str());
        status = 1;
      }
    }
  } catch (const vorn::Error& error) {
    std::fprintf(stderr, "Error: %s\n", error.localizedDescription().c_str());
    return 1;
  }
  return status;
}
