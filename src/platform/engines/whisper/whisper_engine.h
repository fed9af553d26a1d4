#ifndef VORN_PLATFORM_ENGINES_WHISPER_WHISPER_ENGINE_H_
#define VORN_PLATFORM_ENGINES_WHISPER_WHISPER_ENGINE_H_

// The whisper engine as the tool runs it: which model files it uses from the
// model folders, which languages it knows, and how the analyzer feeds it.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/engines/whisper/whisper_model_file.h"
#include "platform/engines/whisper/whisper_recognizer.h"
#include "platform/speech_engine.h"

namespace vorn {

// A ggml-*.bin file found in a model folder, and what could be read of it.
struct InstalledWhisperModel {
  std::filesystem::path path;
  int directoryIndex = 0;                // which folder, in search order
  std::optional<WhisperModelInfo> info;  // its header, when readable
  std::optional<std::string> problem;    // why it cannot be used, if so
};

// Every ggml-*.bin entry of each folder (a missing folder holds none), by
// folder in order, then by name. Each is inspected whole (cheap: weights are
// skipped); one that fails keeps its problem and, if its header was
// readable, its header.
std::vector<InstalledWhisperModel> findWhisperModels(
    const std::vector<std::filesystem::path>& directories);

// Whether whisper has a language code `language` ("en", "fr", "yue").
bool whisperKnowsLanguage(const std::string& language);

// How the whisper analyzer packs and decodes. The defaults are the tool's;
// the benchmark measures the others against them.
struct WhisperEngineSettings {
  WhisperDecoding decoding;
  // Silence laid between consecutive utterances in a window: 0.2 s, chosen
  // on the previous trained test model, where it was clearly the best (75.3%
  // word errors, against 96.7% with 0.1 s and 108.2% with none). On the
  // current one (models/closed-vocabulary/) the three are within run-to-run
  // noise, 0.1 s slightly ahead in two runs, too little to change it on
  // (bench/trained_whisper_benchmark.sh).
  std::size_t joinGapSamples = AudioFile::kSampleRate / 5;
};

// An analyzer that transcribes `language` with `model` (already inspected).
// The utterances are laid into 30-second windows, whisper's own unit of
// work, `settings.joinGapSamples` apart, decoded one at a time by one
// recognizer using every core.
std::unique_ptr<SpeechAnalyzer> makeWhisperAnalyzer(
    std::shared_ptr<SpeechTranscriber> transcriber, const WhisperModelInfo& model,
    std::string language, WhisperEngineSettings settings = {});

}  // namespace vorn

#endif  // VORN_PLATFORM_ENGINES_WHISPER_WHISPER_ENGINE_H_
