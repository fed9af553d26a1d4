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
        // A pause inside the utterance ends a sentence from 12 frames on; a
        // shorter one does not.
        FormatCase{"we went home@5 it was late@45 the dog slept",
                   "We went home it was late. The dog slept."},
        FormatCase{"it was late@11 the dog slept", "It was late the dog slept."},
        FormatCase{"it was late@12 the dog slept", "It was late. The dog slept."},
        // No sentence ends after a word that needs more, nor before one that
        // carries it on; before "but" the pause is a comma.
        FormatCase{"please enter the@30 number of@20 your@20 account",
                   "Please enter the number of your account."},
        FormatCase{"please hold@30 and your call will be answered@25 or@25 press one",
                   "Please hold and your call will be answered or press one."},
        FormatCase{"i am sorry@20 but that is not valid", "I am sorry, but that is not valid."},
        FormatCase{"ask mr@30 smith", "Ask Mr. Smith."},
        // A comma never precedes a sentence's last word.
        FormatCase{"they said no@20 but", "They said no but."},
        // Questions: an auxiliary or modal and its subject, a wh-word and an
        // auxiliary (next, or after one more word); nothing else.
        FormatCase{"would you like to come@20 we leave at nine",
                   "Would you like to come? We leave at nine."},
        FormatCase{"is the train late@20 what is the time@20 which folder should i use",
                   "Is the train late? What is the time? Which folder should I use?"},
        FormatCase{"can't you see it@15 don't go", "Can't you see it? Don't go."},
        FormatCase{"will power is a muscle@20 when the bell rings we go@20 does",
                   "Will power is a muscle. When the bell rings we go. Does."},
        FormatCase{"is@20 this mine", "Is. This mine."},
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
