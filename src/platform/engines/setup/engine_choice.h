#ifndef VORN_PLATFORM_ENGINES_SETUP_ENGINE_CHOICE_H_
#define VORN_PLATFORM_ENGINES_SETUP_ENGINE_CHOICE_H_

// Which engine transcribes a locale, given the whisper models installed,
// and the analyzer of the engine chosen. This is the one place that knows
// every engine: adding one touches its own folder and this table.
//
// The locale's language subtag picks the language ("fr-CA" is French,
// "zh-Hans-TW" Chinese, "en_GB" English). Of the installed whisper models
// that serve it (a multilingual model serves every language whisper knows,
// an English-only one English alone), the most capable wins: the widest,
// then the deepest, then for English an English-only model over a
// multilingual one of the same size (they are trained for it), then more
// mel bands (the newer models), then more bits per weight, then the first
// folder searched and the file name. English falls back to pocketsphinx
// when no whisper model serves it; any other language is served by nothing.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/engines/whisper/whisper_engine.h"
#include "platform/speech_engine.h"

namespace vorn {

// The language subtag of a locale identifier in lower case: the part before
// the first '-' or '_'. Empty when that is not two or three ASCII letters.
std::string languageSubtag(std::string_view localeIdentifier);

struct EngineChoice {
  enum class Engine { kWhisper, kPocketsphinx, kNone };
  Engine engine = Engine::kNone;
  std::optional<WhisperModelInfo> whisperModel;  // with kWhisper
  std::string language;  // the language subtag, as whisper knows it
  // With kNone: why, in a user's words (the locale no engine supports, or
  // the installed model that cannot be used).
  std::string problem;
};

// Chooses as described above. A model that would win but cannot be used,
// or whose header cannot be read (so nobody can tell which languages it
// serves), is a problem rather than a silent fallback: the user installed it
// on purpose.
EngineChoice chooseEngine(std::string_view localeIdentifier,
                          const std::vector<InstalledWhisperModel>& models);

// The same, among the whisper models installed in `modelFolders`
// (findWhisperModels).
EngineChoice chooseEngine(std::string_view localeIdentifier,
                          const std::vector<std::filesystem::path>& modelFolders);

// The analyzer of `choice`'s engine, which must not be kNone, with its
// models from `modelFolders`; `decoders`: how many utterances an engine
// that decodes them one per thread may decode at once, at most.
std::unique_ptr<SpeechAnalyzer> makeChosenAnalyzer(
    const EngineChoice& choice, std::shared_ptr<SpeechTranscriber> transcriber,
    const std::vector<std::filesystem::path>& modelFolders, int decoders);

}  // namespace vorn

#endif  // VORN_PLATFORM_ENGINES_SETUP_ENGINE_CHOICE_H_
