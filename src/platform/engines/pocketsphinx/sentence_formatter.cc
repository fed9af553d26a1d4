#include "platform/engines/pocketsphinx/sentence_formatter.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/engines/pocketsphinx/word_case.h"
#include "text/ascii.h"

namespace vorn {
namespace {

// The engine's dictionary writes honorifics as the bare words "mr", "mrs"...
// The word list writes them without their stop ("Mr"), so they are listed
// here as they are printed.
constexpr std::array<std::pair<std::string_view, std::string_view>, 4> kHonorifics{{
    {"dr", "Dr."},
    {"mr", "Mr."},
    {"mrs", "Mrs."},
    {"ms", "Ms."},
}};

// Words that may follow an honorific without being a name ("Mr. and Mrs.").
constexpr std::array<std::string_view, 2> kNotNames{"and", "or"};

std::optional<std::string_view> honorific(std::string_view word) {
  for (const auto& [spoken, written] : kHonorifics) {
    if (word == spoken) return written;
  }
  return std::nullopt;
}

bool hasCapital(std::string_view word) {
  return std::any_of(word.begin(), word.end(), isAsciiUpper);
}

void capitalizeFirst(std::string& word) {
  if (!word.empty()) word[0] = toAsciiUpper(word[0]);
}

bool isI(std::string_view word) { return word == "i" || word.starts_with("i'"); }

}  // namespace

std::vector<RecognizedWord> formatSentences(std::vector<RecognizedWord> words,
                                            const WordCase& wordCase,
                                            const SentenceFormatOptions& options) {
  bool sentenceStart = true;
  bool afterHonorific = false;
  bool inName = false;
  for (std::size_t i = 0; i < words.size(); ++i) {
    std::string& text = words[i].text;
    const bool wasHonorific = afterHonorific;
    afterHonorific = false;
    if (!hasCapital(text)) {
      if (const std::optional<std::string_view> title = honorific(text)) {
        text = *title;
        afterHonorific = true;
        inName = false;
      } else if (std::optional<std::string_view> written = wordCase.alwaysCapitalizedForm(text)) {
        text = *written;
        inName = wasHonorific || inName;
      } else if (isI(text)) {
        text[0] = 'I';
        inName = false;
      } else if (wasHonorific) {
        // A name follows an honorific even when the list also knows it as a
        // word ("Mr. John", "Dr. Brown").
        inName = std::find(kNotNames.begin(), kNotNames.end(), text) == kNotNames.end();
        if (inName) capitalizeFirst(text);
      } else if (inName && !wordCase.isLowercaseWord(text)) {
        // A word the list does not know, after a name, is most likely the
        // family name ("Mr. John Dashwood").
        capitalizeFirst(text);
      } else {
        inName = false;
      }
      if (sentenceStart) capitalizeFirst(text);
    }
    const bool last = i + 1 == words.size();
    sentenceStart = last || words[i + 1].firstFrame - words[i].lastFrame - 1 >=
                                options.sentencePauseFrames;
    if (sentenceStart) {
      afterHonorific = false;
      inName = false;
      if (!text.ends_with('.')) text += '.';
    }
  }
  return words;
}

SentenceFormatter::SentenceFormatter(std::unique_ptr<UtteranceRecognizer> engine,
                                     SentenceFormatOptions options)
    : engine_(std::move(engine)), options_(options) {}

std::vector<RecognizedWord> SentenceFormatter::recognize(std::span<const float> samples) {
  return formatSentences(engine_->recognize(samples), wordCase_, options_);
}

}  // namespace vorn
