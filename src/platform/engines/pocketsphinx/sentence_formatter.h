#ifndef VORN_PLATFORM_ENGINES_POCKETSPHINX_SENTENCE_FORMATTER_H_
#define VORN_PLATFORM_ENGINES_POCKETSPHINX_SENTENCE_FORMATTER_H_

// Writes the bare lower-case words of an engine such as pocketsphinx as
// sentences a person reads: capitals where English writes them, and a full
// stop or a question mark where the speaker ends a sentence. Engines that
// write their own case and punctuation are not wrapped in it.
//
//   auto recognizer = std::make_unique<SentenceFormatter>(
//       std::make_unique<PocketsphinxRecognizer>());
//   recognizer->recognize(samples);  // {"But"}, {"Mr."}, ..., {"them."}

#include <memory>
#include <span>
#include <vector>

#include "platform/engines/utterance_recognizer.h"
#include "platform/engines/pocketsphinx/word_case.h"

namespace vorn {

struct SentenceFormatOptions {
  // A pause between two words at least this long (in 10 ms frames) ends a
  // sentence, unless the words on either side say it cannot (see
  // formatSentences()). The end of an utterance always does: the utterance
  // splitter cuts only at longer pauses. On the tuning part of bench/devset,
  // where a professional voice mostly leaves 0.07-0.42 s between sentences,
  // 12 did best: written word error rate 2.4 points over plain, against 2.6
  // with 10, 3.5 with 14 and 7.3 with 30 (the same words formatted each
  // way).
  int sentencePauseFrames = 12;
};

// Formats the words of one utterance, given as the engine wrote them (lower
// case, no punctuation), keeping one word per entry and every time unchanged:
// - a sentence ends at the end of the utterance and at every pause of at
//   least options.sentencePauseFrames, except a pause after a word that
//   cannot end one (an article, a possessive, "of", a conjunction, an
//   honorific: "the | house") or before "and", "or", "nor", which carry the
//   sentence on ("please hold | and your call will be answered");
// - a pause that would end a sentence before "but" is a comma instead ("I
//   am sorry, but ..."), never one before a sentence's final word;
// - a sentence ends in "?" when it opens as an English question does: an
//   auxiliary or modal verb and then its subject ("would you ...", "is
//   this ...", "can the ..."), or a wh-word and then an auxiliary, right
//   after it or after one more word ("what is ...", "which folder should
//   ..."); any other sentence ends in a full stop ("them."), attached to its
//   last word;
// - the first word of each sentence starts with a capital;
// - "i" and its contractions are "I", "I'm", "I'll"...;
// - a word that `wordCase` writes only with
//   capitals is written so ("london" -> "London", "nasa" -> "NASA"); one it
//   also writes in lower case ("will", "may") keeps lower case;
// - the honorifics "mr", "mrs", "ms", "dr" are "Mr.", "Mrs.", "Ms.", "Dr.",
//   whose stop never ends a sentence; the name after one is capitalized,
//   with the words that follow it while they are not ordinary lower-case
//   words ("mr john dashwood had" -> "Mr. John Dashwood had").
// A word that already holds a capital is left as written. Pure: the result
// depends on the arguments alone.
std::vector<RecognizedWord> formatSentences(std::vector<RecognizedWord> words,
                                            const WordCase& wordCase,
                                            const SentenceFormatOptions& options = {});

// An UtteranceRecognizer that formats what another one recognises with
// formatSentences(). Each utterance is formatted on its own, so the output
// does not depend on which decoder thread saw which utterance.
class SentenceFormatter : public UtteranceRecognizer {
 public:
  explicit SentenceFormatter(std::unique_ptr<UtteranceRecognizer> engine,
                             SentenceFormatOptions options = {});

  // The engine's words for `samples`, formatted. Throws what the engine
  // throws.
  std::vector<RecognizedWord> recognize(std::span<const float> samples) override;

 private:
  std::unique_ptr<UtteranceRecognizer> engine_;
  WordCase wordCase_;
  SentenceFormatOptions options_;
};

}  // namespace vorn

#endif  // VORN_PLATFORM_ENGINES_POCKETSPHINX_SENTENCE_FORMATTER_H_
