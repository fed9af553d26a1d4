#include "transcription/time_span_parser.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "support/test_support.h"

namespace vorn {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

struct SpanCase {
  const char* name;
  std::string text;
  std::optional<TimeSpan> expected;
};

class ParseCMTimeRangeTest : public ::testing::TestWithParam<SpanCase> {};

// Compares bit-for-bit enough to tell -0 from 0 and NaN from anything.
void expectSameDouble(double actual, double expected) {
  if (std::isnan(expected)) {
    EXPECT_TRUE(std::isnan(actual)) << actual;
  } else {
    EXPECT_EQ(actual, expected);
    EXPECT_EQ(std::signbit(actual), std::signbit(expected));
  }
}

TEST_P(ParseCMTimeRangeTest, Parses) {
  const SpanCase& c = GetParam();
  const std::optional<TimeSpan> span = parseCMTimeRange(c.text);
  ASSERT_EQ(span.has_value(), c.expected.has_value());
  if (!span) return;
  expectSameDouble(span->start, c.expected->start);
  expectSameDouble(span->end, c.expected->end);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseCMTimeRangeTest,
    ::testing::Values(
        SpanCase{"Empty", "", std::nullopt},
        SpanCase{"NoPair", "{audioTimeRange: nothing here}", std::nullopt},
        SpanCase{"OnePair", "value: 3, timescale: 2", std::nullopt},
        SpanCase{"StartAndDuration", "start {value: 3, timescale: 2} duration {value: 1, timescale: 2}",
                 TimeSpan{1.5, 2.0}},
        SpanCase{"ThirdPairIgnored", "value: 3, timescale: 2 value: 1, timescale: 2 value: 9, timescale: 0",
                 TimeSpan{1.5, 2.0}},
        SpanCase{"NoWhitespaceAndLineBreaks", "value:3,timescale:2 value:\n\t 1,\r\n timescale:\x0B\f2",
                 TimeSpan{1.5, 2.0}},
        SpanCase{"EngineDescription",
                 "{audioTimeRange: CMTimeRange(start: {value: 16160, timescale: 16000}, "
                 "duration: {value: 4800, timescale: 16000})}",
                 TimeSpan{1.01, 1.01 + 0.3}},
        SpanCase{"FirstTimescaleZero", "value: 3, timescale: 0 value: 1, timescale: 2", std::nullopt},
        SpanCase{"SecondTimescaleZero", "value: 3, timescale: 2 value: 1, timescale: 0", std::nullopt},
        SpanCase{"NegativeValues", "value: -3, timescale: 2 value: -1, timescale: 1", TimeSpan{-1.5, -2.5}},
        SpanCase{"NegativeZero", "value: -0, timescale: 1 value: 0, timescale: 1", TimeSpan{-0.0, 0.0}},
        // Stretches that do not match give way to the next ones.
        SpanCase{"SignedTimescaleSkipped",
                 "value: 7, timescale: -1 value: 3, timescale: 2 value: 1, timescale: 2", TimeSpan{1.5, 2.0}},
        SpanCase{"SpaceBeforeCommaSkipped",
                 "value: 7 , timescale: 1 value: 3, timescale: 2 value: 1, timescale: 2", TimeSpan{1.5, 2.0}},
        SpanCase{"CapitalValueSkipped",
                 "Value: 7, timescale: 1 value: 3, timescale: 2 value: 1, timescale: 2", TimeSpan{1.5, 2.0}},
        SpanCase{"UnicodeSpaceIsNotWhitespace", "value:\xC2\xA0" "3, timescale: 2 value: 1, timescale: 2",
                 std::nullopt},
        SpanCase{"NonAsciiDigitsDoNotMatch", "value: \xD9\xA3, timescale: 2 value: 1, timescale: 2",
                 std::nullopt},
        SpanCase{"InsideLongerWord", "xvalue: 3, timescale: 2 startvalue: 1, timescale: 2", TimeSpan{1.5, 2.0}},
        SpanCase{"BrokenPairGivesWay", "value: 1, timescale: value: 3, timescale: 2 value: 1, timescale: 2",
                 TimeSpan{1.5, 2.0}},
        SpanCase{"HugeValueIsInfinite",
                 "value: 1" + std::string(400, '0') + ", timescale: 1 value: 1, timescale: 1", TimeSpan{kInf, kInf}},
        SpanCase{"HugeNegativeValue",
                 "value: -1" + std::string(400, '0') + ", timescale: 1 value: 1, timescale: 1",
                 TimeSpan{-kInf, -kInf}},
        SpanCase{"HugeDurationGivesInfiniteEnd",
                 "value: 1, timescale: 1 value: 9" + std::string(400, '9') + ", timescale: 1", TimeSpan{1.0, kInf}},
        SpanCase{"InfiniteTimescaleDividesToZero",
                 "value: 5, timescale: 1" + std::string(400, '0') + " value: 1, timescale: 1", TimeSpan{0.0, 1.0}},
        SpanCase{"InfiniteOverInfiniteIsNaN",
                 "value: 1" + std::string(400, '0') + ", timescale: 1" + std::string(400, '0') +
                     " value: 1, timescale: 1",
                 TimeSpan{std::nan(""), std::nan("")}},
        // 2^53 + 1 is not a double: it rounds to the even neighbour 2^53.
        SpanCase{"BeyondTwoToThe53RoundsToEven", "value: 9007199254740993, timescale: 1 value: 0, timescale: 1",
                 TimeSpan{9007199254740992.0, 9007199254740992.0}},
        SpanCase{"LeadingZeros", "value: 00012, timescale: 0008 value: 0, timescale: 1", TimeSpan{1.5, 1.5}}),
    testing::CaseName());

TEST(ParseCMTimeRangeLongInputTest, HugeWhitespaceRunsStayCheap) {
  // A pathological attribute text must neither recurse per character nor
  // take quadratic time.
  const std::string spaces(1 << 20, ' ');
  const std::string text = "value:" + spaces + "3, timescale:" + spaces + "2 value: 1, timescale: 2";
  const std::optional<TimeSpan> span = parseCMTimeRange(text);
  ASSERT_TRUE(span);
  EXPECT_EQ(span->start, 1.5);
}

}  // namespace
}  // namespace vorn
