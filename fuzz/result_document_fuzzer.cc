// A locale and a list of segments derived from the input →
// encodeResultDocument. The document must either be refused with vorn::Error
// (exactly when some time is not finite) or be compact one-line JSON that a
// real parser reads back to the same values, keys in sorted order, every '/'
// written as "\/" and every number in its shortest round-trip form.

#include <fuzzer/FuzzedDataProvider.h>

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "output/result_document.h"
#include "platform/error.h"
#include "text/utf8.h"

namespace {

using nlohmann::json;

[[noreturn]] void finding(const char* what, const std::string& document) {
  std::fprintf(stderr, "result_document_fuzzer: %s\ndocument: %s\n", what, document.c_str());
  std::abort();
}

void require(bool condition, const char* what, const std::string& document) {
  if (!condition) finding(what, document);
}

// Either raw bits, to reach every double (NaN, infinities, subnormals, -0),
// or hundredths of a second, the values the tool really writes.
double takeTime(FuzzedDataProvider& in) {
  if (in.ConsumeBool()) return static_cast<double>(in.ConsumeIntegral<std::int32_t>()) / 100.0;
  return std::bit_cast<double>(in.ConsumeIntegral<std::uint64_t>());
}

bool sameDouble(double a, double b) {
  return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

bool isHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Walks the document's bytes, checking what a parser forgives: no whitespace
// between tokens, no raw '/', and no escapes but the ones the encoder may
// use (the short forms, "\/", and \u00XX for control characters only).
// Returns the number tokens in document order.
std::vector<std::string> scanTokens(const std::string& document) {
  std::vector<std::string> numbers;
  bool inString = false;
  for (std::size_t k = 0; k < document.size(); ++k) {
    const char c = document[k];
    require(c != '/', "a '/' that is not escaped", document);
    if (inString) {
      if (c == '"') {
        inString = false;
      } else if (c == '\\') {
        require(k + 1 < document.size(), "an escape at the end", document);
        const char e = document[++k];
        if (e == 'u') {
          const bool control = k + 4 < document.size() && document.compare(k + 1, 2, "00") == 0 &&
                               (document[k + 3] == '0' || document[k + 3] == '1') &&
                               isHex(document[k + 4]);
          require(control, "a \\u escape for a character that needs none", document);
          k += 4;
        } else {
          require(std::string_view("\"\\/bfnrt").find(e) != std::string_view::npos,
                  "an unknown escape", document);
        }
      }
    } else if (c == '"') {
      inString = true;
    } else if (c == '-' || (c >= '0' && c <= '9')) {
      const std::size_t end = document.find_first_of(",}]", k);
      numbers.push_back(document.substr(k, end - k));
      k = end - 1;
    } else {
      require(std::string_view("{}[]:,").find(c) != std::string_view::npos,
              "whitespace or a stray byte between tokens", document);
    }
  }
  return numbers;
}

// Fails when printf can write the same double in fewer characters than
// `token`, in plain or exponent form. Each form is tried with ever more
// digits until it reads back: longer ones would only be longer.
void requireShortest(const std::string& token, double value, const std::string& document) {
  for (const char* format : {"%.*e", "%.*f"}) {
    for (int digits = 0; digits <= 24; ++digits) {
      char candidate[512];
      const int length = std::snprintf(candidate, sizeof candidate, format, digits, value);
      if (length < 0 || static_cast<std::size_t>(length) >= sizeof candidate) break;
      if (!sameDouble(std::strtod(candidate, nullptr), value)) continue;
      if (static_cast<std::size_t>(length) < token.size()) {
        std::fprintf(stderr, "%s is shorter than %s\n", candidate, token.c_str());
        finding("a number longer than its shortest form", document);
      }
      break;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const std::string locale = in.ConsumeRandomLengthString(64);
  std::vector<vorn::Segment> segments;
  bool allFinite = true;
  while (in.remaining_bytes() > 0 && segments.size() < 64) {
    vorn::Segment segment;
    segment.start = takeTime(in);
    segment.end = takeTime(in);
    segment.text = in.ConsumeRandomLengthString(256);
    allFinite = allFinite && std::isfinite(segment.start) && std::isfinite(segment.end);
    segments.push_back(std::move(segment));
  }

  std::string document;
  try {
    document = vorn::encodeResultDocument(locale, segments);
  } catch (const vorn::Error&) {
    require(!allFinite, "refused although every time is finite", "");
    return 0;
  }
  require(allFinite, "written although some time is not finite", document);
  require(document.find('\n') == std::string::npos, "more than one line", document);

  // The callback sees every key in document order, duplicates included,
  // which the parsed object would hide.
  std::vector<std::string> keys;
  json parsed;
  try {
    parsed = json::parse(document, [&](int, json::parse_event_t event, json& value) {
      if (event == json::parse_event_t::key) keys.push_back(value.get<std::string>());
      return true;
    });
  } catch (const json::exception& e) {
    finding(e.what(), document);
  }
  std::vector<std::string> expectedKeys{"locale", "segments"};
  for (std::size_t k = 0; k < segments.size(); ++k)
    expectedKeys.insert(expectedKeys.end(), {"end", "start", "text"});
  require(keys == expectedKeys, "keys missing, repeated or out of order", document);

  require(parsed["locale"] == vorn::makeValidUtf8(locale), "the locale differs", document);
  const json& written = parsed["segments"];
  require(written.is_array() && written.size() == segments.size(), "the segments differ in number",
          document);
  const std::vector<std::string> numbers = scanTokens(document);
  require(numbers.size() == 2 * segments.size(), "not two numbers per segment", document);
  for (std::size_t k = 0; k < segments.size(); ++k) {
    const json& segment = written[k];
    require(segment["text"] == vorn::makeValidUtf8(segments[k].text), "a text differs", document);
    // The parser reads "-0" as the integer 0, so the bits are checked on the
    // tokens; the parsed values must agree with them all the same.
    const double expected[] = {segments[k].end, segments[k].start};
    const char* const names[] = {"end", "start"};
    for (int n = 0; n < 2; ++n) {
      const std::string& token = numbers[2 * k + static_cast<std::size_t>(n)];
      require(segment[names[n]].is_number() && segment[names[n]].get<double>() == expected[n],
              "a time differs", document);
      require(sameDouble(std::strtod(token.c_str(), nullptr), expected[n]), "a time's bits differ",
              document);
      requireShortest(token, expected[n], document);
    }
  }
  return 0;
}
