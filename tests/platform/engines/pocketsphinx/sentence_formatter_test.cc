#include "platform/engines/pocketsphinx/sentence_formatter.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/error.h"

namespace vorn {
namespace {

// Words written as "word" or "word@gap": `gap` quiet frames after the word
// (the engine's timing); each word lasts 20 frames.
std::vector<RecognizedWord> timedWords(const std::string& spoken) {
  std::vector<RecognizedWord> words;
  std::istringstream in(spoken);
  int frame = 0;
  for (std::string token; in >> token;) {
    int gap = 0;
    if (const std::size_t at = token.find('@'); at != std::string::npos) {
      gap = std::stoi(token.substr(at + 1));
      token.resize(at);
    }
    words.push_back({token, frame, frame + 19});
    frame += 20 + gap;
  }
  return words;
}

std::string joined(const std::vector<RecognizedWord>& words) {
  std::string text;
  for (const RecognizedWord& word : words) text += (text.empty() ? "" : " ") + word.text;
  return text;
}

struct FormatCase {
  const char* spoken;
  const char* written;
};

class FormatSentencesTest : public ::testing::TestWithParam<FormatCase> {};

void PrintTo(const FormatCase& c, std::ostream* out) { *out << '"' << c.spoken << '"'; }

TEST_P(FormatSentencesTest, WritesAsEnglishIsPrinted) {
  const WordCase wordCase;
  EXPECT_EQ(joined(formatSentences(timedWords(GetParam().spoken), wordCase)), GetParam().written);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FormatSentencesTest,
    ::testing::Values(
        // The sample's words: honorific, a name the list also knows as a
        // word ("john"), a family name it does not know at all.
        FormatCase{"but mr john dashwood had then leisure to do for them",
                   "But Mr. John Dashwood had then leisure to do for them."},
        // A long pause inside the utterance ends a sentence; a short one
        // does not.
        FormatCase{"we went home@10 it was late@45 the dog slept",
                   "We went home it was late. The dog slept."},
        FormatCase{"it was late@29 the dog slept", "It was late the dog slept."},
        FormatCase{"it was late@30 the dog slept", "It was late. The dog slept."},
        // "I" and its contractions.
        FormatCase{"then i said i'm sure i'll come", "Then I said I'm sure I'll come."},
        // Words always capitalized: places, days, months, languages.
        FormatCase{"on monday in april we flew from london to paris",
                   "On Monday in April we flew from London to Paris."},
        FormatCase{"she speaks english and spanish", "She speaks English and Spanish."},
        // Words the list also writes in lower case stay so.
        FormatCase{"you will pay the bill in may", "You will pay the bill in may."},
        // An honorific's stop ends no sentence, even at the end; the word
        // after "and" is no name.
        FormatCase{"mr and mrs smith met dr brown", "Mr. and Mrs. Smith met Dr. Brown."},
        FormatCase{"ask the doctor or mr", "Ask the doctor or Mr."},
        // A single word is a sentence; a word already capitalized is kept.
        FormatCase{"yes", "Yes."}, FormatCase{"the NASA probe", "The NASA probe."}));

TEST(FormatSentencesTest, KeepsOneEntryPerWordAndEveryTime) {
  const WordCase wordCase;
  const std::vector<RecognizedWord> spoken = timedWords("the mr smith@40 i");
  const std::vector<RecognizedWord> written = formatSentences(spoken, wordCase);
  ASSERT_EQ(written.size(), spoken.size());
  for (std::size_t i = 0; i < spoken.size(); ++i) {
    EXPECT_EQ(written[i].firstFrame, spoken[i].firstFrame);
    EXPECT_EQ(written[i].lastFrame, spoken[i].lastFrame);
  }
  EXPECT_EQ(joined(written), "The Mr. Smith. I.");
  EXPECT_TRUE(formatSentences({}, wordCase).empty());
}

class ScriptedEngine : public UtteranceRecognizer {
 public:
  explicit ScriptedEngine(std::vector<RecognizedWord> words) : words_(std::move(words)) {}
  std::vector<RecognizedWord> recognize(std::span<const float> /*samples*/) override {
    if (words_.empty()) throw Error("engine failed");
    return words_;
  }

 private:
  std::vector<RecognizedWord> words_;
};

TEST(SentenceFormatterTest, FormatsEachUtteranceOnItsOwnAndPassesErrorsOn) {
  SentenceFormatter formatter(std::make_unique<ScriptedEngine>(timedWords("hello i am here")));
  const std::vector<float> samples(16000);
  EXPECT_EQ(joined(formatter.recognize(samples)), "Hello I am here.");
  EXPECT_EQ(joined(formatter.recognize(samples)), "Hello I am here.");

  SentenceFormatter failing(std::make_unique<ScriptedEngine>(std::vector<RecognizedWord>{}));
  EXPECT_THROW(failing.recognize(samples), Error);
}

}  // namespace
}  // namespace vorn
