#include "platform/engines/setup/engine_choice.h"

#include <tuple>
#include <utility>

#include "platform/engines/pocketsphinx/pocketsphinx_engine.h"
#include "platform/error.h"
#include "text/ascii.h"
#include "text/utf8.h"

namespace vorn {
namespace {

bool serves(const WhisperModelInfo& model, const std::string& language) {
  return model.multilingual() || language == "en";
}

// Larger is more capable; see the header for the order.
auto capability(const InstalledWhisperModel& model, const std::string& language) {
  const WhisperModelInfo& m = *model.info;
  const bool preferred = language == "en" && !m.multilingual();
  return std::make_tuple(m.state, m.audioLayers + m.textLayers, preferred, m.mels,
                         m.bitsPerWeight());
}

}  // namespace

std::string languageSubtag(std::string_view localeIdentifier) {
  const std::string_view subtag = localeIdentifier.substr(0, localeIdentifier.find_first_of("-_"));
  if (subtag.size() < 2 || subtag.size() > 3) return {};
  std::string lower;
  for (const char c : subtag) {
    if (!isAsciiUpper(c) && !isAsciiLower(c)) return {};
    lower += toAsciiLower(c);
  }
  return lower;
}

EngineChoice chooseEngine(std::string_view localeIdentifier,
                          const std::vector<InstalledWhisperModel>& models) {
  EngineChoice choice;
  const std::string language = languageSubtag(localeIdentifier);
  choice.language = language;

  for (const InstalledWhisperModel& model : models) {
    if (!model.info) {
      choice.problem = *model.problem;
      return choice;
    }
  }
  const bool whisperKnows = whisperKnowsLanguage(language);
  const InstalledWhisperModel* best = nullptr;
  if (whisperKnows) {
    for (const InstalledWhisperModel& model : models) {
      if (!serves(*model.info, language)) continue;
      // Strictly more capable only: on a tie the earlier (first folder,
      // then name) stays.
      if (!best || capability(model, language) > capability(*best, language)) best = &model;
    }
  }
  if (best) {
    if (best->problem) {
      choice.problem = *best->problem;
    } else {
      choice.engine = EngineChoice::Engine::kWhisper;
      choice.whisperModel = best->info;
    }
    return choice;
  }
  if (language == "en") {
    choice.engine = EngineChoice::Engine::kPocketsphinx;
    return choice;
  }
  // The locale is as the user typed it: quoted so that the message stays
  // one line whatever it holds.
  choice.problem = "no speech engine on this device supports the locale \"" +
                   printableInLine(localeIdentifier) + "\"";
  return choice;
}

EngineChoice chooseEngine(std::string_view localeIdentifier,
                          const std::vector<std::filesystem::path>& modelFolders) {
  return chooseEngine(localeIdentifier, findWhisperModels(modelFolders));
}

std::unique_ptr<SpeechAnalyzer> makeChosenAnalyzer(
    const EngineChoice& choice, std::shared_ptr<SpeechTranscriber> transcriber,
    const std::vector<std::filesystem::path>& modelFolders, int decoders) {
  switch (choice.engine) {
    case EngineChoice::Engine::kWhisper:
      return makeWhisperAnalyzer(std::move(transcriber), *choice.whisperModel, choice.language);
    case EngineChoice::Engine::kPocketsphinx:
      return makePocketsphinxAnalyzer(std::move(transcriber), modelFolders, decoders);
    case EngineChoice::Engine::kNone:
      break;
  }
  throw Error("no speech engine was chosen");
}

}  // namespace vorn
