#include "text/utf8.h"

#include <gtest/gtest.h>

#include <string>

#include "support/test_support.h"

namespace vorn {
namespace {

const std::string kReplacement = "\xEF\xBF\xBD";

struct Utf8Case {
  const char* name;
  std::string input;
  std::string valid;
};

class MakeValidUtf8Test : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(MakeValidUtf8Test, ReplacesEachMaximalSubpart) {
  const Utf8Case& c = GetParam();
  EXPECT_EQ(makeValidUtf8(c.input), c.valid);
  EXPECT_EQ(isValidUtf8(c.input), c.input == c.valid);
  EXPECT_TRUE(isValidUtf8(makeValidUtf8(c.input)));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MakeValidUtf8Test,
    ::testing::Values(
        Utf8Case{"Ascii", "hello", "hello"},
        Utf8Case{"WellFormedMultibyte", "caf\xC3\xA9 \xE2\x80\x94 \xF0\x9F\x8E\xA4", "caf\xC3\xA9 \xE2\x80\x94 \xF0\x9F\x8E\xA4"},
        Utf8Case{"NulIsValid", std::string("a\0b", 3), std::string("a\0b", 3)},
        Utf8Case{"LoneContinuation", "a\x80z", "a" + kReplacement + "z"},
        Utf8Case{"Latin1Byte", "caf\xE9", "caf" + kReplacement},
        Utf8Case{"TruncatedThreeByteIsOneReplacement", "\xE2\x80z", kReplacement + "z"},
        Utf8Case{"OverlongTwoByte", "\xC0\xAF", kReplacement + kReplacement},
        Utf8Case{"OverlongThreeByte", "\xE0\x80\xAF", kReplacement + kReplacement + kReplacement},
        Utf8Case{"Surrogate", "\xED\xA0\x80", kReplacement + kReplacement + kReplacement},
        Utf8Case{"AboveUnicode", "\xF4\x90\x80\x80", kReplacement + kReplacement + kReplacement + kReplacement},
        Utf8Case{"InvalidLeadBytes", "\xF5\xFF", kReplacement + kReplacement},
        Utf8Case{"TruncatedAtEnd", "ok\xF0\x9F\x8E", "ok" + kReplacement}),
    testing::CaseName());

struct TrimCase {
  const char* name;
  std::string input;
  std::string trimmed;
};

class TrimTest : public ::testing::TestWithParam<TrimCase> {};

TEST_P(TrimTest, RemovesOnlyLeadingAndTrailingWhitespace) {
  EXPECT_EQ(trimWhitespaceAndNewlines(GetParam().input), GetParam().trimmed);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TrimTest,
    ::testing::Values(
        TrimCase{"Empty", "", ""},
        TrimCase{"OnlyWhitespace", " \t\n\r\x0B\f", ""},
        TrimCase{"SpaceBeforeNewlineAfter", " word\n", "word"},
        TrimCase{"InnerSpaceKept", "  two words ", "two words"},
        TrimCase{"NextLineAndSeparators", "\xC2\x85\xE2\x80\xA8word\xE2\x80\xA9", "word"},
        TrimCase{"SpaceSeparators",
                 "\xC2\xA0\xE1\x9A\x80\xE2\x80\x80\xE2\x80\x8A\xE2\x80\xAF\xE2\x81\x9F\xE3\x80\x80x\xE3\x80\x80", "x"},
        // Zero-width space is a format character, not a space separator.
        TrimCase{"ZeroWidthSpaceKept", "\xE2\x80\x8Bx", "\xE2\x80\x8Bx"},
        TrimCase{"InvalidBytesAreKept", " \xFF ", "\xFF"}),
    testing::CaseName());

TEST(PrintableInLineTest, EscapesControlsAndBackslashKeepsTheRest) {
  EXPECT_EQ(printableInLine("a/b c.wav"), "a/b c.wav");
  EXPECT_EQ(printableInLine("new\nline\r\ttab\\"), "new\\nline\\r\\ttab\\\\");
  EXPECT_EQ(printableInLine(std::string("\x01\x1f\x7f\0", 4)), "\\x01\\x1F\\x7F\\x00");
  EXPECT_EQ(printableInLine("caf\xC3\xA9 \xFF"), "caf\xC3\xA9 \xEF\xBF\xBD");
}

// Code points of one to four bytes round-trip; ill-formed bytes decode as
// U+FFFD, one per maximal subpart, as makeValidUtf8 writes them.
TEST(CodePointsTest, DecodeAndEncodeRoundTrip) {
  const std::string text = "a\xC3\xA9\xE4\xBD\xA0\xF0\x9F\x8E\xB5";  // a é 你 🎵
  EXPECT_EQ(decodeUtf8(text), std::u32string({U'a', 0xE9, 0x4F60, 0x1F3B5}));
  EXPECT_EQ(encodeUtf8(decodeUtf8(text)), text);
  EXPECT_EQ(decodeUtf8("x\xE4\xBDy\xFF"), std::u32string({U'x', 0xFFFD, U'y', 0xFFFD}));
  EXPECT_EQ(encodeUtf8(decodeUtf8("x\xE4\xBDy\xFF")), makeValidUtf8("x\xE4\xBDy\xFF"));
  EXPECT_EQ(decodeUtf8(""), std::u32string());
}

}  // namespace
}  // namespace vorn
