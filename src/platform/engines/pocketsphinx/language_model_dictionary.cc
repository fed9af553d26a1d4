#include "platform/engines/pocketsphinx/language_model_dictionary.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string_view>
#include <unordered_set>

#include <logmath.h>
#include <ngram_model.h>

#include "platform/error.h"

namespace vorn {
namespace {

struct FreeLogmath {
  void operator()(logmath_t* logmath) const noexcept { logmath_free(logmath); }
};
struct FreeLanguageModel {
  void operator()(ngram_model_t* model) const noexcept { ngram_model_free(model); }
};

std::unordered_set<std::string> vocabularyOf(const std::string& path) {
  // The decoder's own log base; the vocabulary does not depend on it.
  std::unique_ptr<logmath_t, FreeLogmath> logmath(logmath_init(1.0001, 0, 0));
  std::unique_ptr<ngram_model_t, FreeLanguageModel> model(
      logmath ? ngram_model_read(nullptr, path.c_str(), NGRAM_AUTO, logmath.get()) : nullptr);
  if (!model) throw Error("could not read the English language model " + path);
  std::unordered_set<std::string> words;
  // The first count is that of unigrams: the vocabulary, word ids 0 to n-1.
  const uint32 size = ngram_model_get_counts(model.get())[0];
  words.reserve(size);
  for (int32 id = 0; id < static_cast<int32>(size); ++id) {
    if (const char* word = ngram_word(model.get(), id)) words.emplace(word);
  }
  return words;
}

// "read(2)" is an entry for the word "read".
std::string_view baseWord(std::string_view entry) {
  const std::size_t open = entry.rfind('(');
  if (open == std::string_view::npos || open == 0 || entry.back() != ')') return entry;
  return entry.substr(0, open);
}

}  // namespace

std::shared_ptr<const LanguageModelDictionary> LanguageModelDictionary::make(
    const std::string& languageModel, const std::string& dictionary) {
  const std::unordered_set<std::string> vocabulary = vocabularyOf(languageModel);

  std::ifstream in(dictionary);
  if (!in) throw Error("could not read the English pronunciation dictionary " + dictionary);
  std::string kept;
  std::string line;
  while (std::getline(in, line)) {
    const std::string_view entry = std::string_view(line).substr(0, line.find_first_of(" \t"));
    if (vocabulary.contains(std::string(baseWord(entry)))) {
      kept += line;
      kept += '\n';
    }
  }
  if (in.bad()) throw Error("could not read the English pronunciation dictionary " + dictionary);

  const int fd = memfd_create("vorn-dictionary", MFD_CLOEXEC);
  if (fd < 0) throw Error("could not prepare the English pronunciation dictionary");
  std::shared_ptr<const LanguageModelDictionary> result(new LanguageModelDictionary(fd));
  std::size_t written = 0;
  while (written < kept.size()) {
    const ssize_t count = ::write(fd, kept.data() + written, kept.size() - written);
    if (count <= 0) throw Error("could not prepare the English pronunciation dictionary");
    written += static_cast<std::size_t>(count);
  }
  return result;
}

LanguageModelDictionary::LanguageModelDictionary(int fd)
    : fd_(fd), path_("/proc/self/fd/" + std::to_string(fd)) {}

LanguageModelDictionary::~LanguageModelDictionary() { ::close(fd_); }

}  // namespace vorn
