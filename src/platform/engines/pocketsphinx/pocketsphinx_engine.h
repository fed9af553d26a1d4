#ifndef VORN_PLATFORM_ENGINES_POCKETSPHINX_POCKETSPHINX_ENGINE_H_
#define VORN_PLATFORM_ENGINES_POCKETSPHINX_POCKETSPHINX_ENGINE_H_

// The default engine as the tool runs it: where its US-English model is
// found, how its words are written, and how the analyzer feeds it.

#include <filesystem>
#include <memory>
#include <vector>

#include "platform/speech_engine.h"

namespace vorn {

// The folder of the US-English model: the first en-us/ folder of
// `modelFolders` that holds the whole model (PocketsphinxRecognizer's
// pieces), else the one the Debian package installs. The result is not
// checked further; the engine names what is missing when it loads.
std::filesystem::path pocketsphinxModelDirectory(
    const std::vector<std::filesystem::path>& modelFolders);

// An analyzer that transcribes US English with pocketsphinx: its model from
// `modelFolders` (adapted to the telephone channel for telephone audio,
// stored at telephone rates or measured to be narrowband:
// telephone_channel.h), its bare words written as sentences
// (sentence_formatter.h), utterances decoded on up to `decoders` threads,
// fewer when memory would not hold that many models.
std::unique_ptr<SpeechAnalyzer> makePocketsphinxAnalyzer(
    std::shared_ptr<SpeechTranscriber> transcriber,
    const std::vector<std::filesystem::path>& modelFolders, int decoders);

}  // namespace vorn

#endif  // VORN_PLATFORM_ENGINES_POCKETSPHINX_POCKETSPHINX_ENGINE_H_
