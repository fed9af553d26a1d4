#include "platform/engines/pocketsphinx/pocketsphinx_recognizer.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string_view>

#include <cmd_ln.h>
#include <err.h>
#include <pocketsphinx.h>

#include "platform/engines/pocketsphinx/telephone_channel.h"
#include "platform/error.h"

namespace vorn {
namespace {

// Decoder settings beyond the engine's defaults and the model's own (the
// model's feat.params, which the engine reads, already asks for cepstral
// mean normalisation over the whole utterance). Chosen by word error rate
// on pocketsphinx-testdata's five LibriVox clips and checked on its other
// recordings: with the engine's defaults the clips score 28.2%, with these
// 19.7%. bench/benchmark.sh measures them again (and runs
// bench/written_benchmark.sh on the development set);
// bench/telephone_benchmark.sh on telephone audio.
constexpr const char* kDecoderSettings[][2] = {
    // Frame numbers must be exact: keep every frame, silence included (the
    // utterance splitter has already dropped the long silences).
    {"-remove_silence", "no"},
    // No flat-lexicon second pass: no score changes without it, and it
    // costs about a fifth of the decoding time.
    {"-fwdflat", "no"},
    // The best path through the final lattice: without it the clips score
    // 15 errors instead of 14, the other recordings 4 instead of 1.
    {"-bestpath", "yes"},
    // A lighter language-model weight for that pass than the default 9.5,
    // which scores up to 20 errors on the clips. Beams, -topn, -lw, word
    // insertion penalty, silence probability, phone look-ahead and noise
    // removal stay at their defaults: no value tried did better.
    {"-bestpathlw", "8.5"},
};

// The engine logs through one process-wide stream; the tool prints nothing
// but its own lines, so it is switched off once, before any engine call.
void silenceEngineLog() {
  static std::once_flag once;
  std::call_once(once, [] { err_set_logfp(nullptr); });
}

void requireExists(const std::filesystem::path& path) {
  std::error_code error;
  if (!std::filesystem::exists(path, error)) {
    throw Error("the English speech model is incomplete: " + path.string() +
                " is missing (is the pocketsphinx-en-us package installed?)");
  }
}

// Words the engine emits that were not spoken words: sentence and silence
// markers (<s>, </s>, <sil>) and noise fillers ([NOISE], ++BREATH++).
bool isFiller(std::string_view word) {
  return word.empty() || word.front() == '<' || word.front() == '[' ||
         word.starts_with("++");
}

// "read(2)" names the second pronunciation of "read"; the word is "read".
std::string_view withoutVariant(std::string_view word) {
  const std::size_t open = word.rfind('(');
  if (open == std::string_view::npos || open == 0 || word.back() != ')') return word;
  const std::string_view number = word.substr(open + 1, word.size() - open - 2);
  const bool isNumber = !number.empty() && std::all_of(number.begin(), number.end(), [](char c) {
    return c >= '0' && c <= '9';
  });
  return isNumber ? word.substr(0, open) : word;
}

// Readers make floats from 16-bit samples by dividing by 32768, so
// multiplying back gives the recording's own samples exactly.
std::int16_t toPcm16(float sample) {
  const float scaled = std::round(sample * 32768.0f);
  return static_cast<std::int16_t>(std::clamp(scaled, -32768.0f, 32767.0f));
}

}  // namespace

void PocketsphinxRecognizer::FreeConfig::operator()(cmd_ln_s* config) const noexcept {
  cmd_ln_free_r(config);
}

void PocketsphinxRecognizer::FreeDecoder::operator()(ps_decoder_s* decoder) const noexcept {
  ps_free(decoder);
}

RecognizerFactory PocketsphinxRecognizer::factory(std::string modelDirectory,
                                                  std::string telephoneTransform) {
  struct Shared {
    std::string modelDirectory;
    std::string telephoneTransform;
    std::mutex mutex;
    std::shared_ptr<const LanguageModelDictionary> dictionary;  // guarded by mutex
  };
  auto shared = std::make_shared<Shared>();
  shared->modelDirectory = std::move(modelDirectory);
  shared->telephoneTransform = std::move(telephoneTransform);
  return [shared](const AudioTraits& traits) -> std::unique_ptr<UtteranceRecognizer> {
    std::shared_ptr<const LanguageModelDictionary> dictionary;
    {
      // Held while the first makes it, so that it is made once.
      std::lock_guard lock(shared->mutex);
      if (!shared->dictionary) {
        const std::filesystem::path directory(shared->modelDirectory);
        requireExists(directory / kLanguageModel);
        requireExists(directory / kDictionary);
        silenceEngineLog();
        shared->dictionary = LanguageModelDictionary::make((directory / kLanguageModel).string(),
                                                           (directory / kDictionary).string());
      }
      dictionary = shared->dictionary;
    }
    if (isTelephoneAudio(traits) && shared->telephoneTransform.empty()) {
      throw Error(
          "the adaptation of the English model to telephone audio (telephone/mllr_matrix) "
          "is missing from the tool's model folders");
    }
    return std::make_unique<PocketsphinxRecognizer>(
        shared->modelDirectory, std::move(dictionary),
        isTelephoneAudio(traits) ? shared->telephoneTransform : std::string());
  };
}

PocketsphinxRecognizer::PocketsphinxRecognizer(
    std::string modelDirectory, std::shared_ptr<const LanguageModelDictionary> dictionary,
    std::string channelTransform) {
  silenceEngineLog();
  const std::filesystem::path directory(modelDirectory);
  const std::string acousticModel = (directory / kAcousticModel).string();
  const std::string languageModel = (directory / kLanguageModel).string();
  const std::string fullDictionary = (directory / kDictionary).string();
  for (const std::string& path : {acousticModel, languageModel, fullDictionary}) {
    requireExists(path);
  }
  if (!dictionary) dictionary = LanguageModelDictionary::make(languageModel, fullDictionary);

  std::vector<const char*> arguments = {"-hmm", acousticModel.c_str(), "-lm", languageModel.c_str(),
                                        "-dict", dictionary->path().c_str()};
  for (const auto& [name, value] : kDecoderSettings) {
    arguments.push_back(name);
    arguments.push_back(value);
  }
  if (!channelTransform.empty()) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(channelTransform, error)) {
      throw Error("the speech model's adaptation to this recording channel is missing: " +
                  channelTransform);
    }
    arguments.push_back("-mllr");
    arguments.push_back(channelTransform.c_str());
  }
  // The parser only reads its arguments, though its C signature says not.
  config_.reset(cmd_ln_parse_r(nullptr, ps_args(), static_cast<int32>(arguments.size()),
                               const_cast<char**>(arguments.data()), TRUE));
  if (!config_) throw Error("the speech engine rejected its settings");

  decoder_.reset(ps_init(config_.get()));
  if (!decoder_) {
    throw Error("could not load the English speech model from " + modelDirectory +
                " (its files are there but unreadable or damaged)");
  }
}

PocketsphinxRecognizer::~PocketsphinxRecognizer() = default;

std::vector<RecognizedWord> PocketsphinxRecognizer::recognize(std::span<const float> samples) {
  if (samples.empty()) return {};
  std::vector<std::int16_t> pcm(samples.size());
  std::transform(samples.begin(), samples.end(), pcm.begin(), toPcm16);

  ps_decoder_t* decoder = decoder_.get();
  // A new stream for every utterance: the front end's noise estimate would
  // otherwise carry over from the utterances decoded before, so the words
  // (their frames at least) would depend on what this recognizer decoded
  // earlier, and utterances decoded on different recognizers would differ.
  // The whole utterance then goes in one call with full_utt set: the engine
  // normalises the cepstral mean over the whole utterance, as the model was
  // trained, instead of estimating it as the audio streams in.
  if (ps_start_stream(decoder) < 0 || ps_start_utt(decoder) < 0 ||
      ps_process_raw(decoder, pcm.data(), pcm.size(), FALSE, TRUE) < 0 ||
      ps_end_utt(decoder) < 0) {
    throw Error("the speech engine failed to decode the audio");
  }

  // The front end pads the last partial frame with zeros, so the engine's
  // last frame may reach past the samples; a word ends at the last sample.
  const int lastFrame = static_cast<int>((samples.size() - 1) / AudioFile::kFrameSamples);
  std::vector<RecognizedWord> words;
  for (ps_seg_t* segment = ps_seg_iter(decoder); segment != nullptr;
       segment = ps_seg_next(segment)) {
    const char* text = ps_seg_word(segment);
    if (text == nullptr || isFiller(text)) continue;
    int first = 0;
    int last = 0;
    ps_seg_frames(segment, &first, &last);
    first = std::min(first, lastFrame);
    words.push_back({std::string(withoutVariant(text)), first, std::clamp(last, first, lastFrame)});
  }
  return words;
}

}  // namespace vorn
