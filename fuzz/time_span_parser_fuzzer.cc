// Arbitrary text → parseCMTimeRange. Besides crashes and sanitizer reports,
// the result is compared with a hand-written scanner for the documented
// pattern, so a regular expression or conversion that drifts from the
// contract is a finding too.

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "transcription/time_span_parser.h"

namespace {

bool isSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

struct Match {
  std::string value;
  std::string timescale;
  std::size_t end;
};

// value:\s*(-?\d+),\s*timescale:\s*(\d+) anchored at `pos`. Taking every
// run of spaces and digits whole is the only way to match: what follows each
// run can be neither.
std::optional<Match> matchAt(std::string_view text, std::size_t pos) {
  const auto literal = [&](std::string_view word) {
    if (text.substr(pos, word.size()) != word) return false;
    pos += word.size();
    return true;
  };
  const auto spaces = [&] {
    while (pos < text.size() && isSpace(text[pos])) ++pos;
  };
  const auto digits = [&] {
    const std::size_t first = pos;
    while (pos < text.size() && isDigit(text[pos])) ++pos;
    return pos > first;
  };

  if (!literal("value:")) return std::nullopt;
  spaces();
  const std::size_t valueStart = pos;
  if (pos < text.size() && text[pos] == '-') ++pos;
  if (!digits()) return std::nullopt;
  const std::size_t valueEnd = pos;
  if (!literal(",")) return std::nullopt;
  spaces();
  if (!literal("timescale:")) return std::nullopt;
  spaces();
  const std::size_t timescaleStart = pos;
  if (!digits()) return std::nullopt;
  return Match{std::string(text.substr(valueStart, valueEnd - valueStart)),
               std::string(text.substr(timescaleStart, pos - timescaleStart)), pos};
}

// glibc's strtod rounds to nearest and turns an overflow into ±HUGE_VAL
// (infinity), which is what the contract asks of the conversion.
double toDouble(const std::string& digits) { return std::strtod(digits.c_str(), nullptr); }

std::optional<vorn::TimeSpan> expectedSpan(std::string_view text) {
  double values[2];
  double timescales[2];
  std::size_t pos = 0;
  for (int found = 0; found < 2;) {
    if (pos >= text.size()) return std::nullopt;
    if (std::optional<Match> match = matchAt(text, pos)) {
      values[found] = toDouble(match->value);
      timescales[found] = toDouble(match->timescale);
      ++found;
      pos = match->end;
    } else {
      ++pos;
    }
  }
  if (!(timescales[0] > 0.0) || !(timescales[1] > 0.0)) return std::nullopt;
  const double start = values[0] / timescales[0];
  return vorn::TimeSpan{start, start + values[1] / timescales[1]};
}

std::size_t occurrences(std::string_view text, std::string_view word) {
  std::size_t count = 0;
  for (std::size_t at = text.find(word); at != std::string_view::npos;
       at = text.find(word, at + word.size())) {
    ++count;
  }
  return count;
}

bool sameDouble(double a, double b) {
  return (std::isnan(a) && std::isnan(b)) ||
         std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

[[noreturn]] void finding(const char* what, std::string_view text) {
  std::fprintf(stderr, "time_span_parser_fuzzer: %s (input of %zu bytes)\n", what, text.size());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::optional<vorn::TimeSpan> span = vorn::parseCMTimeRange(text);

  if (span && (occurrences(text, "value:") < 2 || occurrences(text, "timescale:") < 2)) {
    finding("a span from text without two value/timescale pairs", text);
  }
  const std::optional<vorn::TimeSpan> expected = expectedSpan(text);
  if (span.has_value() != expected.has_value()) {
    finding(
        span ? "a span where the pattern does not give one" : "no span where the pattern gives one",
        text);
  }
  if (span &&
      (!sameDouble(span->start, expected->start) || !sameDouble(span->end, expected->end))) {
    std::fprintf(stderr, "got start %a end %a, expected start %a end %a\n", span->start, span->end,
                 expected->start, expected->end);
    finding("the span's times differ from the pattern's", text);
  }
  return 0;
}
