#include "text/grapheme.h"

#include <gtest/gtest.h>

#include <string>

#include "support/test_support.h"

namespace vorn {
namespace {

struct BoundaryCase {
  std::string name;
  std::u32string before;
  std::u32string after;
  bool boundary;
};

class GraphemeBoundaryTest : public ::testing::TestWithParam<BoundaryCase> {};

TEST_P(GraphemeBoundaryTest, FallsOnlyBetweenWholeCharacters) {
  const BoundaryCase& c = GetParam();
  EXPECT_EQ(isGraphemeBoundary(c.before, c.after), c.boundary);
}

INSTANTIATE_TEST_SUITE_P(
    Table, GraphemeBoundaryTest,
    ::testing::Values(
        BoundaryCase{"BetweenLetters", U"ab", U"c", true},
        BoundaryCase{"EitherSideEmpty", U"", U"\u0301", true},
        BoundaryCase{"BeforeACombiningAccent", U"cafe", U"\u0301", false},
        BoundaryCase{"BeforeAThaiVowelMark", U"\u0E14", U"\u0E35", false},        // ด + ี
        BoundaryCase{"BeforeADevanagariVowelSign", U"\u0928", U"\u093F", false},  // न + ि
        BoundaryCase{"AfterAMarkBeforeALetter", U"\u0E14\u0E35", U"\u0E21", true},
        BoundaryCase{"InsideAHangulSyllable", U"\u1100", U"\u1161", false},       // ᄀ + ᅡ
        BoundaryCase{"AfterAZeroWidthJoinerInAnEmoji", U"\U0001F469\u200D", U"\U0001F4BB", false},
        BoundaryCase{"AfterAZeroWidthJoinerAfterALetter", U"a\u200D", U"\U0001F4BB", true},
        // Flags are pairs of regional indicators: the third starts a new one.
        BoundaryCase{"InsideAFlag", U"\U0001F1EB", U"\U0001F1F7", false},
        BoundaryCase{"AfterAWholeFlag", U"\U0001F1EB\U0001F1F7", U"\U0001F1EB", true}),
    testing::CaseName());

}  // namespace
}  // namespace vorn
