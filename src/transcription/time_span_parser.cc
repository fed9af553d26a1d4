#include "transcription/time_span_parser.h"

#include <re2/re2.h>

#include <charconv>
#include <limits>
#include <string>

namespace vorn {

namespace {

// RE2 rather than std::regex: its matching time is linear in the text and it
// does not recurse per character, so no attribute text, however long or
// strange, can make the parser slow or overflow the stack.
const RE2& timePattern() {
  static const RE2 pattern(
      R"(value:[\t\n\x0B\f\r ]*(-?[0-9]+),[\t\n\x0B\f\r ]*timescale:[\t\n\x0B\f\r ]*([0-9]+))");
  return pattern;
}

// The capture as the nearest double, or `fallback` when it is not a decimal
// integer. An integer beyond the finite doubles becomes infinity with its
// sign: that is a successful conversion.
double toDouble(const std::string& capture, double fallback) {
  double value = 0.0;
  const char* const first = capture.data();
  const char* const last = first + capture.size();
  const auto [ptr, ec] = std::from_chars(first, last, value, std::chars_format::fixed);
  if (ptr != last) return fallback;
  if (ec == std::errc::result_out_of_range) {
    const double infinity = std::numeric_limits<double>::infinity();
    return capture.front() == '-' ? -infinity : infinity;
  }
  if (ec != std::errc()) return fallback;
  return value;
}

struct Pair {
  double value;
  double timescale;
};

}  // namespace

std::optional<TimeSpan> parseCMTimeRange(std::string_view from) {
  re2::StringPiece rest(from.data(), from.size());
  std::string value;
  std::string timescale;
  Pair pairs[2];
  for (Pair& pair : pairs) {
    if (!RE2::FindAndConsume(&rest, timePattern(), &value, &timescale)) return std::nullopt;
    pair = {toDouble(value, 0.0), toDouble(timescale, 1.0)};
  }
  if (!(pairs[0].timescale > 0.0) || !(pairs[1].timescale > 0.0)) return std::nullopt;
  const double start = pairs[0].value / pairs[0].timescale;
  return TimeSpan{start, start + pairs[1].value / pairs[1].timescale};
}

}  // namespace vorn
