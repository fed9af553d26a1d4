#include "platform/engines/pocketsphinx/sentence_formatter.h"

#include <algorithm>
#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

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

bool isOneOf(std::string_view word, std::span<const std::string_view> list) {
  return std::find(list.begin(), list.end(), word) != list.end();
}

// Words after which a pause ends no sentence: they need what follows ("the
// | house", "your | number"), so the speaker is finding the next word.
constexpr std::array<std::string_view, 14> kNeedsMore{
    "a", "an", "and", "but", "his", "its", "my", "nor", "of", "or", "our", "the", "their", "your"};

// Words before which a pause ends no sentence: they carry it on. Speakers
// pause before them inside a sentence as long as between sentences, and no
// comma is written there ("please hold | and your call will be answered").
constexpr std::array<std::string_view, 3> kCarriesOn{"and", "nor", "or"};

// A pause before it is the comma that sets off the clause it opens ("I am
// sorry, but ...").
constexpr std::string_view kContrast = "but";

// English questions open with an auxiliary or modal verb, inverted before
// its subject ("would you", "is this"), or with a wh-word ("what is",
// "which folder should").
constexpr std::array<std::string_view, 36> kAuxiliaries{
    "am", "are", "aren't", "can", "can't", "could", "couldn't", "did", "didn't", "do", "does",
    "doesn't", "don't", "had", "hadn't", "has", "hasn't", "have", "haven't", "is", "isn't", "may",
    "might", "must", "mustn't", "shall", "should", "shouldn't", "was", "wasn't", "were", "weren't",
    "will", "won't", "would", "wouldn't"};
constexpr std::array<std::string_view, 9> kWhWords{
    "how", "what", "when", "where", "which", "who", "whom", "whose", "why"};
// What stands after an inverted auxiliary: a pronoun, or the determiner of
// a noun ("is the train ...").
constexpr std::array<std::string_view, 28> kSubjects{
    "a", "an", "any", "anybody", "anyone", "everyone", "he", "her", "his", "i", "it", "its", "my",
    "our", "she", "somebody", "someone", "that", "the", "their", "there", "these", "they", "this",
    "those", "we", "you", "your"};

bool opensQuestion(std::span<const RecognizedWord> sentence) {
  if (sentence.size() < 2) return false;
  const std::string_view first = sentence[0].text;
  const std::string_view second = sentence[1].text;
  if (isOneOf(first, kAuxiliaries)) return isOneOf(second, kSubjects);
  if (!isOneOf(first, kWhWords)) return false;
  return isOneOf(second, kAuxiliaries) ||
         (sentence.size() > 2 && !isOneOf(second, kSubjects) &&
          isOneOf(sentence[2].text, kAuxiliaries));
}

enum class Mark { kNone, kComma, kFullStop, kQuestionMark };

// The mark after each word, from the pauses and the words around them.
std::vector<Mark> marksAfter(std::span<const RecognizedWord> words,
                             const SentenceFormatOptions& options) {
  std::vector<Mark> marks(words.size(), Mark::kNone);
  for (std::size_t i = 0; i + 1 < words.size(); ++i) {
    const int pause = words[i + 1].firstFrame - words[i].lastFrame - 1;
    const std::string_view word = words[i].text;
    const std::string_view next = words[i + 1].text;
    if (pause < options.sentencePauseFrames || isOneOf(word, kNeedsMore) || honorific(word) ||
        isOneOf(next, kCarriesOn)) {
      continue;
    }
    marks[i] = next == kContrast ? Mark::kComma : Mark::kFullStop;
  }
  if (!marks.empty()) marks.back() = Mark::kFullStop;
  std::size_t sentenceStart = 0;
  for (std::size_t i = 0; i < marks.size(); ++i) {
    // A comma never stands before the last word of a sentence.
    if (marks[i] == Mark::kComma && marks[i + 1] == Mark::kFullStop) marks[i] = Mark::kNone;
    if (marks[i] != Mark::kFullStop) continue;
    if (opensQuestion(words.subspan(sentenceStart, i + 1 - sentenceStart))) {
      marks[i] = Mark::kQuestionMark;
    }
    sentenceStart = i + 1;
  }
  return marks;
}

}  // namespace

std::vector<RecognizedWord> formatSentences(std::vector<RecognizedWord> words,
                                            const WordCase& wordCase,
                                            const SentenceFormatOptions& options) {
  const std::vector<Mark> marks = marksAfter(words, options);
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
    sentenceStart = marks[i] == Mark::kFullStop || marks[i] == Mark::kQuestionMark;
    if (sentenceStart) {
      afterHonorific = false;
      inName = false;
    }
    switch (marks[i]) {
      case Mark::kNone:
        break;
      case Mark::kComma:
        text += ',';
        break;
      case Mark::kFullStop:
        if (!text.ends_with('.')) text += '.';
        break;
      case Mark::kQuestionMark:
        text += '?';
        break;
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
