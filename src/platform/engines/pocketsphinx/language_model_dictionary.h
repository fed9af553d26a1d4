#ifndef VORN_PLATFORM_ENGINES_POCKETSPHINX_LANGUAGE_MODEL_DICTIONARY_H_
#define VORN_PLATFORM_ENGINES_POCKETSPHINX_LANGUAGE_MODEL_DICTIONARY_H_

// The model's pronunciation dictionary cut down to the words its language
// model knows. The engine searches only words that are in both, yet loads
// every dictionary entry into every decoder: Debian's dictionary has 134,000
// entries, its language model 72,000 words, and the entries the search can
// never reach cost each decoder about 9 MB.

#include <memory>
#include <string>

namespace vorn {

class LanguageModelDictionary {
 public:
  // Reads the vocabulary of the language model at `languageModel` (any
  // format the engine reads) and keeps the lines of the dictionary at
  // `dictionary` whose word, without a pronunciation-variant marker
  // ("read(2)" is "read"), is in it, in their order. The text lives in an
  // anonymous in-memory file, so nothing is written to disk. Takes about a
  // tenth of a second. Throws vorn::Error when either file cannot be read.
  static std::shared_ptr<const LanguageModelDictionary> make(const std::string& languageModel,
                                                             const std::string& dictionary);
  ~LanguageModelDictionary();

  LanguageModelDictionary(const LanguageModelDictionary&) = delete;
  LanguageModelDictionary& operator=(const LanguageModelDictionary&) = delete;

  // A path the engine can open to read the cut-down dictionary, while this
  // object lives.
  const std::string& path() const noexcept { return path_; }

 private:
  explicit LanguageModelDictionary(int fd);

  int fd_;
  std::string path_;
};

}  // namespace vorn

#endif  // VORN_PLATFORM_ENGINES_POCKETSPHINX_LANGUAGE_MODEL_DICTIONARY_H_
