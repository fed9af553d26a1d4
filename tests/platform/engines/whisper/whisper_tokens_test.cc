#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/engines/whisper/whisper_recognizer.h"
#include "support/test_support.h"

namespace vorn {
namespace {

using ::testing::ElementsAre;

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

INSTANTIATE_TEST_SUITE_P(
    Table, JoinWhisperTokensTest,
    ::testing::Values(
        JoinCase{"PiecesJoinUntilASpace",
                 {{" Well", 0, 20}, {",", 20, 22}, {" the", 30, 40}, {" coun", 40, 50},
                  {"try", 50, 60}, {".", 60, 61}},
                 1000,
                 {{"Well,", 0, 21}, {"the", 30, 39}, {"country.", 40, 60}}},
        JoinCase{"FirstPieceWithoutSpaceStillStartsAWord", {{"Hello", 5, 9}}, 100, {{"Hello", 5, 8}}},
        JoinCase{"BlankPiecesAreDropped", {{" ", 0, 5}, {" hi", 5, 9}, {"  ", 9, 12}}, 100,
                 {{"hi", 5, 8}}},
        JoinCase{"TimesPastTheAudioAreClamped", {{" late", 90, 140}, {" later", 150, 170}}, 99,
                 {{"late", 90, 99}, {"later", 99, 99}}},
        JoinCase{"AnEmptyTimeSpanIsOneFrame", {{" a", 7, 7}}, 100, {{"a", 7, 7}}},
        JoinCase{"MultibyteTextIsKept", {{" 你", 0, 3}, {"好", 3, 6}, {"。", 6, 7}}, 100,
                 {{"你好。", 0, 6}}},
        JoinCase{"NoTokensNoWords", {}, 100, {}}),
    testing::CaseName());

}  // namespace
}  // namespace vorn
