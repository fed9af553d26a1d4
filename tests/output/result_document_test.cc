#include "output/result_document.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "platform/error.h"

#include "support/test_support.h"

namespace vorn {
namespace {

TEST(EncodeResultDocumentTest, EmptyListGivesEmptyArray) {
  EXPECT_EQ(encodeResultDocument("en-US", {}), R"({"locale":"en-US","segments":[]})");
}

TEST(EncodeResultDocumentTest, SortedKeysOneLineListOrderKept) {
  const std::vector<Segment> segments = {
      {"hello", 0.5, 2.25}, {"world", 2.5, 4.75}, {"again", 0.0, 0.0}, {"back", 1.0, 0.5}};
  EXPECT_EQ(encodeResultDocument("en-US", segments),
            R"({"locale":"en-US","segments":[)"
            R"({"end":2.25,"start":0.5,"text":"hello"},)"
            R"({"end":4.75,"start":2.5,"text":"world"},)"
            R"({"end":0,"start":0,"text":"again"},)"
            R"({"end":0.5,"start":1,"text":"back"}]})");
}

struct StringCase {
  const char* name;
  std::string raw;
  std::string json;
};

class JsonStringTest : public ::testing::TestWithParam<StringCase> {};

// The same escaping serves the locale and the segment text.
TEST_P(JsonStringTest, EscapesAsTheReadersExpect) {
  const StringCase& c = GetParam();
  EXPECT_EQ(encodeResultDocument(c.raw, {}), "{\"locale\":" + c.json + ",\"segments\":[]}");
  EXPECT_EQ(encodeResultDocument("", {{c.raw, 0, 0}}),
            "{\"locale\":\"\",\"segments\":[{\"end\":0,\"start\":0,\"text\":" + c.json + "}]}");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, JsonStringTest,
    ::testing::Values(
        StringCase{"Empty", "", R"("")"},
        StringCase{"UnderscoreLocaleUnchanged", "en_GB", R"("en_GB")"},
        StringCase{"SlashQuoteBackslash", R"(a/b"c\d)", R"("a\/b\"c\\d")"},
        StringCase{"ShortControlEscapes", "\b\f\n\r\t", R"("\b\f\n\r\t")"},
        StringCase{"OtherControls", std::string("\x00\x01\x1f\x7f", 4), "\"\\u0000\\u0001\\u001f\x7f\""},
        StringCase{"NonAsciiAsUtf8", "caf\xC3\xA9 \xE2\x80\xA8", "\"caf\xC3\xA9 \xE2\x80\xA8\""},
        StringCase{"InvalidUtf8BecomesReplacement", "caf\xE9\x80 \xFF", "\"caf\xEF\xBF\xBD \xEF\xBF\xBD\""}),
    testing::CaseName());

TEST(EncodeResultDocumentTest, NumbersReadBackAsTheSameDouble) {
  const double values[] = {0.1, 0.13, 2.68, 1.0, -0.0, -12.34, 1e-7, 123456789.12, 1e300,
                           std::numeric_limits<double>::max(), std::numeric_limits<double>::denorm_min()};
  for (const double value : values) {
    const std::string text = encodeResultDocument("x", {{"w", value, value}});
    const std::string prefix = R"({"locale":"x","segments":[{"end":)";
    ASSERT_EQ(text.rfind(prefix, 0), 0u);
    const std::string number = text.substr(prefix.size(), text.find(',', prefix.size()) - prefix.size());
    EXPECT_EQ(std::strtod(number.c_str(), nullptr), value) << number;
    EXPECT_EQ(number.find_first_not_of("0123456789.-+e"), std::string::npos) << number;
  }
}

TEST(EncodeResultDocumentTest, NonFiniteTimeIsAWriterError) {
  const double nonFinite[] = {std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                              std::nan("")};
  for (const double value : nonFinite) {
    for (const bool inStart : {true, false}) {
      const Segment segment{"word", inStart ? value : 1.0, inStart ? 1.0 : value};
      try {
        encodeResultDocument("en-US", {segment});
        ADD_FAILURE() << "no error for " << value;
      } catch (const Error& error) {
        const std::string description = error.localizedDescription();
        EXPECT_NE(description.find(inStart ? "\"start\"" : "\"end\""), std::string::npos) << description;
        EXPECT_NE(description.find("JSON"), std::string::npos) << description;
      }
    }
  }
}

}  // namespace
}  // namespace vorn
