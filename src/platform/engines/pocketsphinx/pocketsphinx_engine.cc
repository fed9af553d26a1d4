#include "platform/engines/pocketsphinx/pocketsphinx_engine.h"

#include <utility>

#include "platform/engines/engine_analyzer.h"
#include "platform/engines/pocketsphinx/pocketsphinx_recognizer.h"
#include "platform/engines/pocketsphinx/sentence_formatter.h"
#include "platform/engines/pocketsphinx/telephone_channel.h"
#include "platform/engines/setup/decoder_budget.h"
#include "platform/engines/setup/model_folders.h"

namespace vorn {

std::filesystem::path pocketsphinxModelDirectory(
    const std::vector<std::filesystem::path>& modelFolders) {
  const std::filesystem::path model = "en-us";
  const std::optional<std::filesystem::path> folder = findInModelFolders(
      modelFolders, {
                        {model / PocketsphinxRecognizer::kAcousticModel, ModelEntry::Kind::kFolder},
                        {model / PocketsphinxRecognizer::kLanguageModel, ModelEntry::Kind::kFile},
                        {model / PocketsphinxRecognizer::kDictionary, ModelEntry::Kind::kFile},
                    });
  return folder ? *folder / model : std::filesystem::path(PocketsphinxRecognizer::kModelDirectory);
}

std::unique_ptr<SpeechAnalyzer> makePocketsphinxAnalyzer(
    std::shared_ptr<SpeechTranscriber> transcriber,
    const std::vector<std::filesystem::path>& modelFolders, int decoders) {
  return std::make_unique<EngineAnalyzer>(
      std::move(transcriber),
      [recognizer = PocketsphinxRecognizer::factory(
           pocketsphinxModelDirectory(modelFolders).string(),
           telephoneTransformPath(modelFolders))](const AudioTraits& traits) {
        // The engine writes bare lower-case words.
        return std::make_unique<SentenceFormatter>(recognizer(traits));
      },
      EngineAnalyzer::Options{
          .decoders = decodersThatFit(decoders, PocketsphinxRecognizer::kCost, measureMemoryRoom()),
          // The telephone model is chosen by the speech's bandwidth.
          .measureBandwidth = true,
      });
}

}  // namespace vorn
