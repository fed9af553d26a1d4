#ifndef VORN_PLATFORM_ENGINES_ENGINE_CHOICE_H_
#define VORN_PLATFORM_ENGINES_ENGINE_CHOICE_H_

// Which engine transcribes a locale, given the whisper models installed.
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
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/engines/whisper/whisper_model_file.h"

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

}  // namespace vorn

#endif  // VORN_PLATFORM_ENGINES_ENGINE_CHOICE_H_
