#include "platform/engines/whisper/whisper_words.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_support.h"

namespace vorn {
namespace {

struct JoinCase {
  std::string name;
  std::vector<WhisperToken> tokens;
  int lastFrame;
  std::vector<RecognizedWord> words;
};

class JoinWhisperTokensTest : public ::testing::TestWithParam<JoinCase> {};

TEST_P(JoinWhisperTokensTest, MakesWordsAsTheModelWroteThem) {
  const JoinCase& c = GetParam();
  EXPECT_EQ(joinWhisperTokens(c.tokens, c.lastFrame), c.words);
}

const WhisperToken kSpecial{"", 0, 0, true};

INSTANTIATE_TEST_SUITE_P(
    Table, JoinWhisperTokensTest,
    ::testing::Values(
        // Punctuation joins the word but not its time span.
        JoinCase{"PiecesJoinUntilASpace",
                 {{" Well", 0, 20}, {",", 20, 22}, {" the", 30, 40}, {" coun", 40, 50},
                  {"try", 50, 60}, {".", 60, 61}},
                 1000,
                 {{"Well,", 0, 19}, {"the", 30, 39}, {"country.", 40, 59}}},
        JoinCase{"FirstPieceWithoutSpaceStillStartsAWord", {{"Hello", 5, 9}}, 100, {{"Hello", 5, 8}}},
        JoinCase{"ASpecialTokenStartsAWord",
                 {{" new", 0, 10}, kSpecial, {"York", 12, 20}}, 100, {{"new", 0, 9}, {"York", 12, 19}}},
        JoinCase{"LoneSpacesStartAWord",
                 {{" hello", 0, 10}, {" ", 10, 11}, {"world", 11, 20}, {"  ", 20, 21}}, 100,
                 {{"hello", 0, 9}, {"world", 11, 19}}},
        JoinCase{"TimesPastTheAudioAreClamped", {{" late", 90, 140}, {" later", 150, 170}}, 99,
                 {{"late", 90, 99}, {"later", 99, 99}}},
        JoinCase{"AnEmptyTimeSpanIsOneFrame", {{" a", 7, 7}}, 100, {{"a", 7, 7}}},
        // 你 is E4 BD A0, split over two byte-level tokens; each whole
        // piece of a language written without spaces is a word.
        JoinCase{"SpacelessScriptsSplitWhereCharactersAreWhole",
                 {{" \xE4\xBD", 0, 2}, {"\xA0", 2, 3}, {"好", 3, 6}, {"。", 6, 7}, {"世界", 8, 12}}, 100,
                 {{"你", 0, 2}, {"好。", 3, 5}, {"世界", 8, 11}}},
        JoinCase{"ThaiToo", {{"สวัสดี", 0, 10}, {"ครับ", 10, 20}}, 100,
                 {{"สวัสดี", 0, 9}, {"ครับ", 10, 19}}},
        JoinCase{"SpacedWordAfterSpacelessTextStartsAWord",
                 {{"我用", 0, 4}, {"iPhone", 4, 10}, {" today", 11, 15}}, 100,
                 {{"我用", 0, 3}, {"iPhone", 4, 9}, {"today", 11, 14}}},
        JoinCase{"ABrokenCharacterIsCutShortAtASpecialToken",
                 {{" a\xE4\xBD", 0, 5}, kSpecial, {" b", 6, 9}}, 100,
                 {{"a\xEF\xBF\xBD", 0, 4}, {"b", 6, 8}}},
        JoinCase{"OpeningQuotesAndBracketsJoinTheWordAfter",
                 {{" She", 0, 5}, {" said", 5, 10}, {" \xE2\x80\x9C", 10, 11}, {" yes", 11, 15},
                  {"\xE2\x80\x9D", 15, 16}, {" \xC2\xBF", 16, 17}, {" qu\xC3\xA9", 17, 20}, {"?", 20, 21}},
                 100,
                 {{"She", 0, 4}, {"said", 5, 9}, {"\xE2\x80\x9Cyes\xE2\x80\x9D", 11, 14},
                  {"\xC2\xBFqu\xC3\xA9?", 17, 19}}},
        JoinCase{"StandalonePunctuationJoinsTheWordBefore",
                 {{" wait", 0, 5}, {" \xE2\x80\x94", 5, 6}, {" no", 6, 9}, {" ...", 9, 10}}, 100,
                 {{"wait\xE2\x80\x94", 0, 4}, {"no...", 6, 8}}},
        JoinCase{"PunctuationWithNoWordIsDropped", {{" ,", 0, 2}, {" -", 2, 4}}, 100, {}},
        JoinCase{"BracketedSpansAreNotSpeech",
                 {{" [", 0, 1}, {"BL", 1, 2}, {"ANK", 2, 3}, {"_", 3, 4}, {"AUDIO", 4, 5}, {"]", 5, 6},
                  {" yes", 10, 20}},
                 100, {{"yes", 10, 19}}},
        JoinCase{"ParenthesesAndStarsAcrossWords",
                 {{" (", 0, 1}, {"laughs", 1, 5}, {")", 5, 6}, {" ok", 6, 9}, {" *", 9, 10},
                  {" DING", 10, 12}, {" *", 12, 13}, {" fine", 13, 16}},
                 100, {{"ok", 6, 8}, {"fine", 13, 15}}},
        JoinCase{"AnUnclosedSquareBracketRunsToItsSegmentsEnd",
                 {{" [Music", 0, 5}, {" playing", 5, 9}, kSpecial, {" hello", 10, 15}}, 100,
                 {{"hello", 10, 14}}},
        JoinCase{"MusicSignsAndWhatTheyEnclose",
                 {{" \xE2\x99\xAA", 0, 1}, {" la", 1, 3}, {" la", 3, 5}, {" \xE2\x99\xAA", 5, 6},
                  {" end", 6, 9}, {" \xE2\x99\xAA\xE2\x99\xAA", 9, 10}, {" \xF0\x9F\x8E\xB5", 10, 11}},
                 100, {{"end", 6, 8}}},
        // The punctuation after an annotation is the sentence's.
        JoinCase{"AnAnnotationKeepsThePunctuationAfterIt",
                 {{" Okay", 0, 5}, {" (", 5, 6}, {"la", 6, 7}, {"ughs", 7, 9}, {").", 9, 10},
                  {" So", 12, 15}, {" \xE2\x99\xAA", 15, 16}, {" la", 16, 18}, {"\xE2\x99\xAA,", 18, 19}},
                 100, {{"Okay.", 0, 4}, {"So,", 12, 14}}},
        // An opener that nothing closes marks no span: the words after it
        // were heard. A music sign is never written; a lone mark goes.
        JoinCase{"AnUnpairedMusicSignDropsNoWords",
                 {{" \xE2\x99\xAA", 0, 1}, {" Hi", 1, 3}, {".", 3, 4}, kSpecial, {" Hi", 5, 7},
                  {",", 7, 8}, {" \xE2\x99\xAA", 8, 9}, {" la", 9, 11}, {" la", 11, 13}},
                 100, {{"Hi.", 1, 2}, {"Hi,", 5, 6}, {"la", 9, 10}, {"la", 11, 12}}},
        JoinCase{"AnUnpairedParenthesisOrStarDropsNoWords",
                 {{" (", 0, 1}, {" Hi", 1, 3}, {" there", 3, 5}, kSpecial, {" *", 6, 7}, {" yes", 7, 9},
                  {" (and", 9, 11}, {" no", 11, 13}},
                 100, {{"Hi", 1, 2}, {"there", 3, 4}, {"yes", 7, 8}, {"(and", 9, 10}, {"no", 11, 12}}},
        // Hyphens between spaces are dashes: speaker turns and breaks. One
        // written against its word marks the word cut short.
        JoinCase{"ASpacedHyphenJoinsNoWord",
                 {{" -", 0, 1}, {" Hello", 1, 4}, {".", 4, 5}, {" -", 5, 6}, {" Hi", 6, 8}, {".", 8, 9},
                  kSpecial, {" Wait", 10, 12}, {" -", 12, 13}, {" what", 13, 15}, {"?", 15, 16},
                  {" I", 16, 17}, {"-", 17, 18}, {" I", 18, 19}},
                 100,
                 {{"Hello.", 1, 3}, {"Hi.", 6, 7}, {"Wait", 10, 11}, {"what?", 13, 14}, {"I-", 16, 16},
                  {"I", 18, 18}}},
        // ดี ("good") is ด with the vowel sign U+0E35, which the model wrote
        // as a token of its own; café's accent comes after a segment's end.
        JoinCase{"AMarkStaysWithItsCharacter",
                 {{"\xE0\xB8\x94", 0, 4}, {"\xE0\xB8\xB5", 4, 6}, {"\xE0\xB8\xA1\xE0\xB8\xB2\xE0\xB8\x81", 6, 10},
                  {" cafe", 10, 14}, kSpecial, {"\xCC\x81", 14, 15}, {" ok", 15, 17}},
                 100,
                 {{"\xE0\xB8\x94\xE0\xB8\xB5", 0, 5}, {"\xE0\xB8\xA1\xE0\xB8\xB2\xE0\xB8\x81", 6, 9},
                  {"cafe\xCC\x81", 10, 14}, {"ok", 15, 16}}},
        JoinCase{"BracketsInsideAWordAreKept", {{" word", 0, 3}, {"(s)", 3, 5}}, 100, {{"word(s)", 0, 4}}},
        JoinCase{"NoTokensNoWords", {}, 100, {}}),
    testing::CaseName());

}  // namespace
}  // namespace vorn
