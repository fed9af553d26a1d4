#ifndef VORN_PLATFORM_ENGINES_POCKETSPHINX_POCKETSPHINX_RECOGNIZER_H_
#define VORN_PLATFORM_ENGINES_POCKETSPHINX_POCKETSPHINX_RECOGNIZER_H_

// US-English recognition with CMU pocketsphinx and the model Debian installs
// with it (package pocketsphinx-en-us).

#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/engines/setup/decoder_budget.h"
#include "platform/engines/utterance_recognizer.h"
#include "platform/engines/pocketsphinx/language_model_dictionary.h"

// The engine's C types, declared here so that its headers stay out of ours.
struct cmd_ln_s;
struct ps_decoder_s;

namespace vorn {

class PocketsphinxRecognizer : public UtteranceRecognizer {
 public:
  // Where the model is installed. Fixed: the tool has no configuration.
  static constexpr const char* kModelDirectory = "/usr/share/pocketsphinx/model/en-us";
  // The pieces of a model directory, named as that package names them.
  static constexpr const char* kAcousticModel = "en-us";            // a folder
  static constexpr const char* kLanguageModel = "en-us.lm.bin";
  static constexpr const char* kDictionary = "cmudict-en-us.dict";  // the full one

  // What one recognizer takes: its model (about 80 MB resident with the
  // cut-down dictionary, 87 MB of address space) and decoding buffers, plus,
  // in address space, its thread's stack (8 MB). Not counted: a malloc arena
  // of its own (64 MB of address space), which the tool rules out when
  // address space is limited. Measured with bench/decoder_memory.sh.
  static constexpr DecoderCost kCost{.residentBytes = 88ull << 20,
                                     .addressBytes = (96ull + 8) << 20};

  // Loads the model from `modelDirectory`, which holds the acoustic model
  // folder kAcousticModel, the language model kLanguageModel and the
  // dictionary kDictionary, with the dictionary cut down to the language
  // model's words: `dictionary` when given (made from these files), else
  // one made here. Takes about a second. Throws vorn::Error naming what is
  // missing or unreadable. Silences the engine's logging for the whole
  // process (it is one global setting of the engine).
  //
  // A non-empty `channelTransform` names an MLLR transform file (the
  // engine's "mllr_matrix" format) applied to the acoustic model's means
  // as it loads, fitting the model to a recording channel; see
  // telephone_channel.h. Empty: the model as installed.
  explicit PocketsphinxRecognizer(
      std::string modelDirectory = kModelDirectory,
      std::shared_ptr<const LanguageModelDictionary> dictionary = nullptr,
      std::string channelTransform = {});

  // Makes recognizers for the model in `modelDirectory` that share one
  // cut-down dictionary, made by the first of them; audio that
  // isTelephoneAudio() is decoded with `telephoneTransform` applied (an
  // empty path there is an error naming the missing adaptation). Safe to
  // call from several threads at once.
  static RecognizerFactory factory(std::string modelDirectory = kModelDirectory,
                                   std::string telephoneTransform = {});
  ~PocketsphinxRecognizer() override;

  PocketsphinxRecognizer(const PocketsphinxRecognizer&) = delete;
  PocketsphinxRecognizer& operator=(const PocketsphinxRecognizer&) = delete;

  // Decodes `samples` as one utterance. Words carry no pronunciation-variant
  // marker ("read(2)" is "read"); silence and filler tokens (<s>, </s>,
  // <sil>, [NOISE], ++BREATH++...) are left out. Frame f is the 10 ms
  // frame f of `samples` exactly (RecognizedWord): the engine's own silence
  // removal is off, so no frame is dropped. The words depend on `samples`
  // alone, not on what this recognizer decoded before.
  std::vector<RecognizedWord> recognize(std::span<const float> samples) override;

 private:
  struct FreeConfig {
    void operator()(cmd_ln_s* config) const noexcept;
  };
  struct FreeDecoder {
    void operator()(ps_decoder_s* decoder) const noexcept;
  };

  std::unique_ptr<cmd_ln_s, FreeConfig> config_;
  std::unique_ptr<ps_decoder_s, FreeDecoder> decoder_;  // refers to config_
};

}  // namespace vorn

#endif  // VORN_PLATFORM_ENGINES_POCKETSPHINX_POCKETSPHINX_RECOGNIZER_H_
