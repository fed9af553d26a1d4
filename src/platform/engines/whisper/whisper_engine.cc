#include "platform/engines/whisper/whisper_engine.h"

#include <algorithm>
#include <thread>
#include <utility>

#include <whisper.h>

#include "platform/engines/engine_analyzer.h"
#include "platform/engines/setup/model_folders.h"
#include "platform/error.h"

namespace vorn {
namespace {

// whisper's window: it encodes 30 seconds of audio whatever it is given.
constexpr std::size_t kWhisperWindowSamples = 30 * AudioFile::kSampleRate;

bool isModelFileName(std::string_view name) {
  return name.size() > 9 && name.starts_with("ggml-") && name.ends_with(".bin");
}

}  // namespace

std::vector<InstalledWhisperModel> findWhisperModels(
    const std::vector<std::filesystem::path>& directories) {
  std::vector<InstalledWhisperModel> models;
  for (ModelFolderEntry& entry : listModelFolders(directories, isModelFileName)) {
    InstalledWhisperModel model{std::move(entry.path), entry.folderIndex, std::nullopt,
                                std::nullopt};
    try {
      model.info = inspectWhisperModel(model.path);
    } catch (const Error& problem) {
      model.problem = problem.localizedDescription();
      // A damaged body may still have a readable header, which tells
      // whether the model would have been chosen; only then is the
      // damage the user's error rather than someone else's file.
      try {
        model.info = readWhisperModelHeader(model.path);
      } catch (const Error&) {
      }
    }
    models.push_back(std::move(model));
  }
  return models;
}

bool whisperKnowsLanguage(const std::string& language) {
  silenceWhisperLogging();  // it reports unknown languages in its log
  return !language.empty() && whisper_lang_id(language.c_str()) >= 0;
}

std::unique_ptr<SpeechAnalyzer> makeWhisperAnalyzer(
    std::shared_ptr<SpeechTranscriber> transcriber, const WhisperModelInfo& model,
    std::string language, WhisperEngineSettings settings) {
  // One decoder using every core: a whisper model takes hundreds of
  // megabytes in use, and its matrix products spread over the cores.
  const int threads = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
  return std::make_unique<EngineAnalyzer>(
      std::move(transcriber),
      [model, language = std::move(language), threads,
       decoding = settings.decoding](const AudioTraits& /*traits*/) {
        return std::make_unique<WhisperRecognizer>(model, language, threads, decoding);
      },
      EngineAnalyzer::Options{.decoders = 1,
                              .windowSamples = kWhisperWindowSamples,
                              .joinGapSamples = settings.joinGapSamples});
}

}  // namespace vorn
