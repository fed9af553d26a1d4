#include "platform/engines/engine_choice.h"

#include <algorithm>
#include <system_error>
#include <tuple>

#include <whisper.h>

#include "platform/engines/whisper/whisper_recognizer.h"
#include "platform/error.h"
#include "text/utf8.h"

namespace vorn {
namespace {

bool isModelFileName(const std::string& name) {
  return name.size() > 9 && name.starts_with("ggml-") && name.ends_with(".bin");
}

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

std::vector<InstalledWhisperModel> findWhisperModels(
    const std::vector<std::filesystem::path>& directories) {
  std::vector<InstalledWhisperModel> models;
  for (std::size_t d = 0; d < directories.size(); ++d) {
    std::vector<std::filesystem::path> found;
    std::error_code error;
    for (std::filesystem::directory_iterator entry(directories[d], error), end;
         !error && entry != end; entry.increment(error)) {
      if (isModelFileName(entry->path().filename().string())) found.push_back(entry->path());
    }
    std::sort(found.begin(), found.end());
    for (std::filesystem::path& path : found) {
      InstalledWhisperModel model{std::move(path), static_cast<int>(d), std::nullopt, std::nullopt};
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
  }
  return models;
}

std::string languageSubtag(std::string_view localeIdentifier) {
  const std::string_view subtag = localeIdentifier.substr(0, localeIdentifier.find_first_of("-_"));
  if (subtag.size() < 2 || subtag.size() > 3) return {};
  std::string lower;
  for (const char c : subtag) {
    if (c >= 'A' && c <= 'Z') {
      lower += static_cast<char>(c - 'A' + 'a');
    } else if (c >= 'a' && c <= 'z') {
      lower += c;
    } else {
      return {};
    }
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
  silenceWhisperLogging();  // it reports unknown languages in its log
  const bool whisperKnows = !language.empty() && whisper_lang_id(language.c_str()) >= 0;
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

}  // namespace vorn
